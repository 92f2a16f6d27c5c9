#include "waylandpasteboard.h"

#include "platform/pasteboardtypes.h"
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
                    self,
                    [self, request, snapshot] {
                        if (request == self->m_lastRequest)
                            Q_EMIT self->contentsRead(request, snapshot);
                    },
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

void WaylandPasteboard::noteForeignChange()
{
    // Another client replaced our contents: their bytes (a kept image, say) need not stay.
    m_ownsContents = false;
    m_written.clear();
    ++m_changeCount;
    Q_EMIT changed();
}

std::uint64_t WaylandPasteboard::readContents(const PasteboardReadOptions &options)
{
    const std::uint64_t request = ++m_lastRequest;
    m_clipboard->read(request, options);
    return request;
}

void WaylandPasteboard::clearContents()
{
    m_written.clear();
    m_ownsContents = true;
    ++m_changeCount;
    publish();
    Q_EMIT changed();
}

void WaylandPasteboard::add(const QString &type, const QByteArray &data)
{
    if (!m_ownsContents)
        clearContents();
    for (auto &[written, bytes] : m_written) {
        if (written == type) {
            bytes = data;
            publish();
            return;
        }
    }
    m_written.append({ type, data });
    publish();
}

void WaylandPasteboard::setString(const QString &string)
{
    // Offered as "text/plain" and the other text types Wayland and X11 clients ask for.
    add(pasteboardtype::plainText(), string.toUtf8());
}

void WaylandPasteboard::setData(const QByteArray &data, const QString &type)
{
    add(type, data);
}

void WaylandPasteboard::writeFileURLs(const QList<QUrl> &urls)
{
    QByteArray uriList;
    QByteArray gnomeList = "copy";
    for (const QUrl &url : urls) {
        uriList += url.toEncoded() + "\r\n";
        gnomeList += '\n' + url.toEncoded();
    }
    add(pasteboardtype::uriList(), uriList);
    // GNOME's file managers paste files only from their own list.
    add(pasteboardtype::gnomeCopiedFiles(), gnomeList);
}

// Every write offers the whole contents anew; a write the clipboard's thread has not made
// yet is replaced by this one.
void WaylandPasteboard::publish()
{
    m_clipboard->write(m_written);
}

} // namespace corvane
