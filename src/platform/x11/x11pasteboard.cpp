#include "x11pasteboard.h"

#include "platform/x11/clipboardreader.h"
#include "platform/x11/clipboardxlib.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <cstdint>
#include <cstring>

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace corvane {

namespace {

// An XFixes selection notification as it arrives on the wire, which is how Qt's xcb
// connection hands its events to native event filters.
struct SelectionNotifyWire
{
    std::uint8_t responseType;
    std::uint8_t subtype;
    std::uint16_t sequence;
    std::uint32_t window;
    std::uint32_t owner;
    std::uint32_t selection;
    std::uint32_t timestamp;
    std::uint32_t selectionTimestamp;
    std::uint8_t padding[8];
};
static_assert(sizeof(SelectionNotifyWire) == 32);

} // namespace

X11Pasteboard::X11Pasteboard(QObject *parent)
    : OwnedPasteboard(parent)
    , m_clipboard(QGuiApplication::clipboard())
{
    // The reader answers on its own thread; the snapshot is handed to this object's thread,
    // and an answer that a newer request overtook meanwhile is dropped there too.
    m_reader = std::make_unique<ClipboardReader>(xlib::applicationDisplayName(), ownerTimeout,
        [this](std::uint64_t request, const PasteboardSnapshot &snapshot, unsigned long owner) {
            QMetaObject::invokeMethod(
                this, [this, request, snapshot, owner] { deliverRead(request, snapshot, owner); },
                Qt::QueuedConnection);
        });
    // Event numbers of an extension are the same on every connection to a server.
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    int errorBase = 0;
    if (Display *display = x11 ? x11->display() : nullptr;
        display && XFixesQueryExtension(display, &m_fixesEventBase, &errorBase)) {
        m_clipboardAtom = XInternAtom(display, "CLIPBOARD", False);
        qGuiApp->installNativeEventFilter(this);
    } else {
        m_fixesEventBase = -1;
    }
    connect(m_clipboard, &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard)
            noteClipboardChange();
    });
}

// The reader's thread is joined first, so nothing is handed to this object once it is gone.
X11Pasteboard::~X11Pasteboard()
{
    if (m_fixesEventBase >= 0 && qGuiApp)
        qGuiApp->removeNativeEventFilter(this);
}

// Qt reports a change of owner without naming the owner; the event it reports comes through
// here first.
bool X11Pasteboard::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    SelectionNotifyWire event;
    std::memcpy(&event, message, sizeof event);
    if ((event.responseType & 0x7f) != m_fixesEventBase + XFixesSelectionNotify
        || event.selection != m_clipboardAtom)
        return false;
    // An owner that went away leaves the clipboard without one.
    m_announcedOwner = event.subtype == XFixesSetSelectionOwnerNotify ? event.owner : None;
    return false;
}

void X11Pasteboard::noteClipboardChange()
{
    // Qt reports its own ownership changes synchronously inside setMimeData; those are part
    // of a write that clearContents already counted.
    if (m_publishing)
        return;
    m_ownerOfLastChange = m_announcedOwner;
    noteForeignChange();
}

void X11Pasteboard::deliverRead(
    std::uint64_t request, PasteboardSnapshot snapshot, unsigned long owner)
{
    // The reader's connection can meet the next owner before Qt's connection has reported
    // it here: the change count then still names the copy before, and these contents would
    // be taken for it. They are the newer copy's, which is counted and read once its change
    // is reported; the copy before was replaced unread.
    if (m_ownerOfLastChange && owner != *m_ownerOfLastChange)
        snapshot.setReplacedWhileRead(true);
    deliver(request, snapshot);
}

void X11Pasteboard::startRead(std::uint64_t request, const PasteboardReadOptions &options)
{
    m_reader->read(request, options);
}

void X11Pasteboard::publish(const Contents &contents)
{
    if (!m_clipboard)
        return;
    // Qt's own window owns the contents now; the reader is not asked to tell them apart.
    m_ownerOfLastChange.reset();
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
