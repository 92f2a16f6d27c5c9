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

// A plain image of the given size encoded in an image format Qt writes ("png", "tiff", …).
inline QByteArray encodedImage(int width, int height, const char *format = "png")
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return bytes;
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
