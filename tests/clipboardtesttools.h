#pragma once

#include "eventloopwait.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QString>

#include <chrono>
#include <gtest/gtest.h>

// Helpers for tests that put things on the clipboard or read it as another process would.
namespace corvane::test {

// An image encoded in a format Qt writes ("png", "tiff", …), at a quality (-1: the default).
inline QByteArray encoded(const QImage &image, const char *format = "png", int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format, quality)) << format;
    return bytes;
}

// A plain image of the given size, encoded.
inline QByteArray encodedImage(int width, int height, const char *format = "png")
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return encoded(image, format);
}

// What another process reads of the CLIPBOARD selection for one target, through xclip. The
// event loop keeps running meanwhile, since the owner may be this very process.
inline QByteArray readClipboardWithXclip(const QString &target)
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
        { QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-o"),
            QStringLiteral("-t"), target });
    EXPECT_TRUE(
        spinUntil([&] { return xclip.state() == QProcess::NotRunning; }, std::chrono::seconds(10)));
    return xclip.readAllStandardOutput();
}

} // namespace corvane::test
