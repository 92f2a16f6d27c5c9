#include "fakepasteboard.h"

#include "platform/pasteboardtypes.h"

#include <QMetaObject>

namespace corvane {

FakePasteboard::FakePasteboard(PasteboardImageDecoder decodeImage, QObject *parent)
    : Pasteboard(parent)
    , m_decodeImage(std::move(decodeImage))
{ }

PasteboardSnapshot FakePasteboard::snapshot(const PasteboardReadOptions &options) const
{
    QStringList types;
    for (const auto &[type, bytes] : m_contents)
        types.append(type);
    const auto fetch = [this](const QString &type) -> std::optional<QByteArray> {
        m_fetchedTypes.append(type);
        for (const auto &[offered, bytes] : m_contents) {
            if (offered == type)
                return bytes;
        }
        return std::nullopt;
    };
    return readPasteboard(types, fetch, options, m_decodeImage);
}

std::uint64_t FakePasteboard::readContents(const PasteboardReadOptions &options)
{
    const std::uint64_t request = ++m_lastRequest;
    const PasteboardSnapshot read = snapshot(options);
    QMetaObject::invokeMethod(
        this,
        [this, request, read] {
            // Like the real clipboard, an answer overtaken by a newer request is dropped.
            if (request == m_lastRequest)
                Q_EMIT contentsRead(request, read);
        },
        Qt::QueuedConnection);
    return request;
}

void FakePasteboard::clearContents()
{
    m_contents.clear();
    m_ownsContents = true;
    ++m_changeCount;
    Q_EMIT changed();
}

void FakePasteboard::beginWriteIfNeeded()
{
    if (!m_ownsContents)
        clearContents();
}

void FakePasteboard::replace(const QString &type, const QByteArray &data)
{
    beginWriteIfNeeded();
    for (auto &[offered, bytes] : m_contents) {
        if (offered == type) {
            bytes = data;
            return;
        }
    }
    m_contents.append({ type, data });
}

void FakePasteboard::setString(const QString &string)
{
    replace(pasteboardtype::plainText(), string.toUtf8());
}

void FakePasteboard::setData(const QByteArray &data, const QString &type)
{
    replace(type, data);
}

void FakePasteboard::writeFileURLs(const QList<QUrl> &urls)
{
    QByteArray list;
    for (const QUrl &url : urls)
        list += url.toEncoded() + "\r\n";
    replace(pasteboardtype::uriList(), list);
}

void FakePasteboard::copyFromOtherProcess(const Contents &contents)
{
    m_contents = contents;
    m_ownsContents = false;
    ++m_changeCount;
    Q_EMIT changed();
}

void FakePasteboard::ownerExited()
{
    copyFromOtherProcess({});
}

} // namespace corvane
