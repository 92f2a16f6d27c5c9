#pragma once

#include "platform/pasteboard.h"

#include <QList>
#include <QPointer>

#include <chrono>
#include <memory>
#include <utility>

class QClipboard;

namespace corvane {

class ClipboardReader;

// The X11 CLIPBOARD selection. Changes are counted from Qt's clipboard notifications, which
// follow XFixes selection-owner events from every process; this object's own writes count
// once each. Reading goes through a ClipboardReader, never through Qt's blocking clipboard
// reads. Needs a QGuiApplication on the xcb platform.
class X11Pasteboard : public Pasteboard
{
    Q_OBJECT

public:
    explicit X11Pasteboard(QObject *parent = nullptr);
    ~X11Pasteboard() override;

    std::int64_t changeCount() const override { return m_changeCount; }
    std::uint64_t readContents(const PasteboardReadOptions &options) override;
    void clearContents() override;
    void setString(const QString &string) override;
    void setData(const QByteArray &data, const QString &type) override;
    void writeFileURLs(const QList<QUrl> &urls) override;

    // How long the reader waits for each answer of the clipboard's owner.
    static constexpr std::chrono::milliseconds ownerTimeout { 2000 };

private:
    void noteClipboardChange();
    void add(const QString &type, const QByteArray &data);
    void publish();

    QPointer<QClipboard> m_clipboard;
    std::unique_ptr<ClipboardReader> m_reader;
    QList<std::pair<QString, QByteArray>> m_written;
    std::int64_t m_changeCount = 0;
    std::uint64_t m_lastRequest = 0;
    bool m_publishing = false;
    bool m_ownsContents = false;
};

} // namespace corvane
