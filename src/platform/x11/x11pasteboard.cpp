#include "x11pasteboard.h"

#include "platform/pasteboardtypes.h"
#include "platform/x11/clipboardreader.h"
#include "platform/x11/clipboardxlib.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace corvane {

X11Pasteboard::X11Pasteboard(QObject *parent)
    : Pasteboard(parent)
    , m_clipboard(QGuiApplication::clipboard())
{
    // The reader answers on its own thread; the snapshot is handed to this object's thread,
    // and an answer that a newer request overtook meanwhile is dropped there too.
    m_reader = std::make_unique<ClipboardReader>(xlib::applicationDisplayName(), ownerTimeout,
        [this](std::uint64_t request, const PasteboardSnapshot &snapshot) {
            QMetaObject::invokeMethod(
                this,
                [this, request, snapshot] {
                    if (request == m_lastRequest)
                        Q_EMIT contentsRead(request, snapshot);
                },
                Qt::QueuedConnection);
        });
    connect(m_clipboard, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard)
            noteClipboardChange();
    });
}

// The reader's thread is joined first, so nothing is handed to this object once it is gone.
X11Pasteboard::~X11Pasteboard() = default;

void X11Pasteboard::noteClipboardChange()
{
    // Qt reports its own ownership changes synchronously inside setMimeData; those are part
    // of a write that clearContents already counted.
    if (m_publishing)
        return;
    // Another owner replaced our contents: their bytes (a kept image, say) need not stay.
    m_ownsContents = false;
    m_written.clear();
    ++m_changeCount;
    Q_EMIT changed();
}

std::uint64_t X11Pasteboard::readContents(const PasteboardReadOptions &options)
{
    const std::uint64_t request = ++m_lastRequest;
    m_reader->read(request, options);
    return request;
}

void X11Pasteboard::clearContents()
{
    m_written.clear();
    m_ownsContents = true;
    ++m_changeCount;
    publish();
    Q_EMIT changed();
}

void X11Pasteboard::add(const QString &type, const QByteArray &data)
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

void X11Pasteboard::setString(const QString &string)
{
    // Qt offers "text/plain" as UTF8_STRING, STRING and the other text targets too.
    add(pasteboardtype::plainText(), string.toUtf8());
}

void X11Pasteboard::setData(const QByteArray &data, const QString &type)
{
    add(type, data);
}

void X11Pasteboard::writeFileURLs(const QList<QUrl> &urls)
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

void X11Pasteboard::publish()
{
    if (!m_clipboard)
        return;
    auto *mimeData = new QMimeData;
    for (const auto &[type, bytes] : std::as_const(m_written))
        mimeData->setData(type, bytes);
    // Every write republishes the whole contents: Qt serves them to other processes until
    // another owner takes over.
    m_publishing = true;
    m_clipboard->setMimeData(mimeData, QClipboard::Clipboard);
    m_publishing = false;
}

} // namespace corvane
