#include "ownedpasteboard.h"

#include "platform/pasteboardtypes.h"

namespace corvane {

std::uint64_t OwnedPasteboard::readContents(const PasteboardReadOptions &options)
{
    const std::uint64_t request = ++m_lastRequest;
    startRead(request, options);
    return request;
}

void OwnedPasteboard::clearContents()
{
    m_written.clear();
    m_ownsContents = true;
    ++m_changeCount;
    publish(m_written);
    Q_EMIT changed();
}

void OwnedPasteboard::add(const QString &type, const QByteArray &data)
{
    if (!m_ownsContents)
        clearContents();
    for (auto &[written, bytes] : m_written) {
        if (written == type) {
            bytes = data;
            publish(m_written);
            return;
        }
    }
    m_written.append({ type, data });
    publish(m_written);
}

void OwnedPasteboard::setString(const QString &string)
{
    // Each backend offers "text/plain" under the other text types its clients ask for too.
    add(pasteboardtype::plainText(), string.toUtf8());
}

void OwnedPasteboard::setData(const QByteArray &data, const QString &type)
{
    add(type, data);
}

void OwnedPasteboard::writeFileURLs(const QList<QUrl> &urls)
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

void OwnedPasteboard::noteForeignChange()
{
    // Their bytes replaced ours (a kept image, say), which need not stay.
    m_ownsContents = false;
    m_written.clear();
    ++m_changeCount;
    Q_EMIT changed();
}

void OwnedPasteboard::deliver(std::uint64_t request, const PasteboardSnapshot &snapshot)
{
    if (request == m_lastRequest)
        Q_EMIT contentsRead(request, snapshot);
}

} // namespace corvane
