#include "x11pasteboard.h"

#include "platform/x11/clipboardreader.h"
#include "platform/x11/clipboardxlib.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace corvane {

X11Pasteboard::X11Pasteboard(QObject *parent)
    : OwnedPasteboard(parent)
    , m_clipboard(QGuiApplication::clipboard())
{
    // The reader answers on its own thread; the snapshot is handed to this object's thread,
    // and an answer that a newer request overtook meanwhile is dropped there too.
    m_reader = std::make_unique<ClipboardReader>(xlib::applicationDisplayName(), ownerTimeout,
        [this](std::uint64_t request, const PasteboardSnapshot &snapshot) {
            QMetaObject::invokeMethod(
                this, [this, request, snapshot] { deliver(request, snapshot); },
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
    noteForeignChange();
}

void X11Pasteboard::startRead(std::uint64_t request, const PasteboardReadOptions &options)
{
    m_reader->read(request, options);
}

void X11Pasteboard::publish(const Contents &contents)
{
    if (!m_clipboard)
        return;
    auto *mimeData = new QMimeData;
    for (const auto &[type, bytes] : contents)
        mimeData->setData(type, bytes);
    // Every write republishes the whole contents: Qt serves them to other processes until
    // another owner takes over.
    m_publishing = true;
    m_clipboard->setMimeData(mimeData, QClipboard::Clipboard);
    m_publishing = false;
}

} // namespace corvane
