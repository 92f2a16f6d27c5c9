#pragma once

#include "platform/ownedpasteboard.h"

#include <chrono>
#include <memory>

namespace corvane {

class DataControlClipboard;

// The clipboard of a Wayland session, watched and written through the compositor's
// data-control protocol on a connection of its own, so it sees every client's copies
// whichever window has the focus. Changes are counted from the compositor's selection
// announcements; this object's own writes count once each.
class WaylandPasteboard : public OwnedPasteboard
{
    Q_OBJECT

public:
    // The clipboard of the compositor at socketName (empty: the session's WAYLAND_DISPLAY).
    // Nothing when no compositor answers or it offers no data-control; `reason` then says
    // which.
    static std::unique_ptr<WaylandPasteboard> create(const QByteArray &socketName = {},
        QString *reason = nullptr, std::chrono::milliseconds ownerTimeout = defaultOwnerTimeout);
    ~WaylandPasteboard() override;

    // "ext-data-control-v1" or "wlr-data-control-unstable-v1".
    QString protocolName() const;

    // How long the reader waits for each answer of the clipboard's owner.
    static constexpr std::chrono::milliseconds defaultOwnerTimeout { 2000 };

private:
    WaylandPasteboard();
    void publish(const Contents &contents) override;
    void startRead(std::uint64_t request, const PasteboardReadOptions &options) override;

    std::unique_ptr<DataControlClipboard> m_clipboard;
};

} // namespace corvane
