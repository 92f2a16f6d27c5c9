#include "panel/paster.h"

#include "common/logging.h"
#include "panel/delayscheduler.h"
#include "platform/pasteboard.h"
#include "platform/pasteboardtypes.h"
#include "store/blobfiles.h"
#include "store/clipstore.h"
#include "store/scopedfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <exception>

namespace corvane {

Paster::Paster(ClipStore &store, Pasteboard &pasteboard, PasteKeystrokePoster &keystrokes,
    DelayScheduler &scheduler, std::function<bool()> isTrusted, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_pasteboard(pasteboard)
    , m_keystrokes(keystrokes)
    , m_scheduler(scheduler)
    , m_isTrusted(std::move(isTrusted))
{ }

Paster::~Paster() = default;

bool Paster::copy(const std::vector<ClipItem> &items, bool plainText)
{
    if (items.empty())
        return false;
    if (items.size() == 1)
        return write(items.front(), plainText);

    QStringList texts;
    for (const ClipItem &item : items) {
        if (item.text)
            texts << *item.text;
    }
    const QString joined = texts.join(QLatin1Char('\n'));
    if (joined.isEmpty())
        return write(items.front(), plainText);

    m_pasteboard.clearContents();
    m_pasteboard.setString(joined);
    for (const ClipItem &item : items)
        markUsed(item);
    return true;
}

Paster::PasteResult Paster::paste(const std::vector<ClipItem> &items,
    const std::optional<RunningApplication> &target, bool plainText)
{
    if (!copy(items, plainText))
        return PasteResult::nothingWritten;
    if (!m_isTrusted || !m_isTrusted()) {
        qCInfo(lcPaste) << "Keystrokes not allowed — copied, leaving the paste to the user";
        return PasteResult::copiedOnly;
    }
    if (target)
        m_keystrokes.activate(*target);
    // Each paste posts its own keystroke, even when a second one comes within the delay.
    m_scheduler.runAfter(pasteDelay, this, [this, target] { postPasteKeystroke(target); });
    return PasteResult::pasting;
}

void Paster::postPasteKeystroke(const std::optional<RunningApplication> &application)
{
    m_keystrokes.postPasteKeystroke(pasteShortcutFor(application));
}

bool Paster::write(const ClipItem &item, bool plainText)
{
    const Written written = writeTypes(item, plainText);
    if (written == Written::item)
        markUsed(item);
    return written != Written::nothing;
}

bool Paster::writeItem(const ClipItem &item)
{
    return writeTypes(item, false) != Written::nothing;
}

Paster::Written Paster::writeTypes(const ClipItem &item, bool plainText)
{
    // Cleared first: a write that then fails leaves an empty clipboard, never the previous
    // contents posing as the chosen item.
    m_pasteboard.clearContents();
    // Lists and recordings hand out long texts cut to their start; the clipboard gets the
    // whole text, read now as the UTF-8 it is stored and offered in. An item deleted
    // meanwhile writes nothing.
    std::optional<QByteArray> text;
    try {
        text = m_store.wholeUtf8Text(item);
    } catch (const std::exception &error) {
        qCWarning(lcPaste, "Could not read a long text in full: %s", error.what());
        return Written::nothing;
    }
    switch (item.kind) {
    case ClipKind::image: {
        if (!item.blobName || !isBlobName(*item.blobName))
            return Written::nothing;
        QFile file(QDir(m_store.blobDirectory()).filePath(*item.blobName));
        if (!file.open(QIODevice::ReadOnly))
            return Written::nothing;
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return Written::nothing;
        m_pasteboard.setData(bytes, pasteboardtype::png());
        break;
    }
    case ClipKind::file: {
        const std::optional<ScopedFile> scoped = ScopedFile::fromItem(item);
        if (scoped && scoped->url().isLocalFile()
            && QFileInfo::exists(scoped->url().toLocalFile())) {
            m_pasteboard.writeFileURLs({ scoped->url() });
            break;
        }
        // The file has gone: its path is still worth pasting, but it was not used as a file.
        if (!text)
            return Written::nothing;
        m_pasteboard.setData(*text, pasteboardtype::plainText());
        return Written::pathOnly;
    }
    case ClipKind::text:
    case ClipKind::color:
        if (!text)
            return Written::nothing;
        m_pasteboard.setData(*text, pasteboardtype::plainText());
        break;
    case ClipKind::link:
        if (!text)
            return Written::nothing;
        m_pasteboard.setData(*text, pasteboardtype::plainText());
        if (!plainText)
            // A URI list ends every line with CR LF.
            m_pasteboard.setData(*text + "\r\n", pasteboardtype::uriList());
        break;
    }
    return Written::item;
}

void Paster::markUsed(const ClipItem &item)
{
    try {
        m_store.markUsed(item.id, now());
    } catch (const std::exception &) {
        // Marking is bookkeeping; the write the user asked for has happened.
    }
}

} // namespace corvane
