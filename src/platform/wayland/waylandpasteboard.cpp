#include "waylandpasteboard.h"

#include "platform/wayland/datacontrolclipboard.h"

namespace corvane {

WaylandPasteboard::WaylandPasteboard() = default;

// The clipboard's thread is joined first, so nothing is handed to this object once it is gone.
WaylandPasteboard::~WaylandPasteboard() = default;

std::unique_ptr<WaylandPasteboard> WaylandPasteboard::create(
    const QByteArray &socketName, QString *reason, std::chrono::milliseconds ownerTimeout)
{
    std::unique_ptr<WaylandPasteboard> pasteboard(new WaylandPasteboard);
    WaylandPasteboard *self = pasteboard.get();
    // Both callbacks come on the clipboard's thread and are handed to this object's thread;
    // an answer that a newer request overtook meanwhile is dropped there.
    DataControlClipboard::Callbacks callbacks {
        .changed =
            [self] {
                QMetaObject::invokeMethod(
                    self, [self] { self->noteForeignChange(); }, Qt::QueuedConnection);
            },
        .delivered =
            [self](std::uint64_t request, const PasteboardSnapshot &snapshot) {
                QMetaObject::invokeMethod(
                    self, [self, request, snapshot] { self->deliver(request, snapshot); },
                    Qt::QueuedConnection);
            },
    };
    pasteboard->m_clipboard
        = DataControlClipboard::connect(socketName, ownerTimeout, std::move(callbacks), reason);
    if (!pasteboard->m_clipboard)
        return nullptr;
    return pasteboard;
}

QString WaylandPasteboard::protocolName() const
{
    return m_clipboard->protocolName();
}

void WaylandPasteboard::startRead(std::uint64_t request, const PasteboardReadOptions &options)
{
    m_clipboard->read(request, options);
}

// A write the clipboard's thread has not made yet is replaced by this one.
void WaylandPasteboard::publish(const Contents &contents)
{
    m_clipboard->write(contents);
}

} // namespace corvane
