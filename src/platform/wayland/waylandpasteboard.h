#pragma once

#include "platform/pasteboard.h"

#include <QList>

#include <chrono>
#include <memory>
#include <utility>

namespace corvane {

class DataControlClipboard;

// The clipboard of a Wayland session, watched and written through the compositor's
// data-control protocol on a connection of its own, so it sees every client's copies
// whichever window has the focus. Changes are counted from the compositor's selection
// announcements; this object's own writes count once each.
class WaylandPasteboard : public Pasteboard
{
    Q_OBJECT

public:
    // The clipboard of the compositor at socketName (empty: the session's WAYLAND_DISPLAY).
    // Nothing when no compositor answers or it offers no data-control; `reason` then says
    // which.
    static std::unique_ptr<WaylandPasteboard> create(const QByteArray &socketName = {},
        QString *reason = nullptr, std::chrono::milliseconds ownerTimeout = defaultOwnerTimeout);
    ~WaylandPasteboard() override;

    std::int64_t changeCount() const override { return m_changeCount; }
    std::uint64_t readContents(const PasteboardReadOptions &options) override;
    void clearContents() override;
    void setString(const QString &string) override;
    void setData(const QByteArray &data, const QString &type) override;
    void writeFileURLs(const QList<QUrl> &urls) override;

    // "ext-data-control-v1" or "wlr-data-control-unstable-v1".
    QString protocolName() const;

    // How long the reader waits for each answer of the clipboard's owner.
    static constexpr std::chrono::milliseconds defaultOwnerTimeout { 2000 };

private:
    WaylandPasteboard();
    void noteForeignChange();
    void add(const QString &type, const QByteArray &data);
    void publish();

    std::unique_ptr<DataControlClipboard> m_clipboard;
    QList<std::pair<QString, QByteArray>> m_written;
    std::int64_t m_changeCount = 0;
    std::uint64_t m_lastRequest = 0;
    bool m_ownsContents = false;
};

} // namespace corvane
