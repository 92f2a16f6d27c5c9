#pragma once

#include "platform/ownedpasteboard.h"

#include <QAbstractNativeEventFilter>
#include <QPointer>

#include <chrono>
#include <memory>
#include <optional>

class QClipboard;

namespace corvane {

class ClipboardReader;

// The X11 CLIPBOARD selection. Changes are counted from Qt's clipboard notifications, which
// follow XFixes selection-owner events from every process; this object's own writes count
// once each. Reading goes through a ClipboardReader, never through Qt's blocking clipboard
// reads, and a read is trusted only when the owner that answered it is the one named by the
// change counted last. Needs a QGuiApplication on the xcb platform.
class X11Pasteboard : public OwnedPasteboard, private QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit X11Pasteboard(QObject *parent = nullptr);
    ~X11Pasteboard() override;

    // How long the reader waits for each answer of the clipboard's owner.
    static constexpr std::chrono::milliseconds ownerTimeout { 2000 };

private:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;
    void noteClipboardChange();
    void deliverRead(std::uint64_t request, PasteboardSnapshot snapshot, unsigned long owner);
    void publish(const Contents &contents) override;
    void startRead(std::uint64_t request, const PasteboardReadOptions &options) override;

    QPointer<QClipboard> m_clipboard;
    std::unique_ptr<ClipboardReader> m_reader;
    bool m_publishing = false;
    int m_fixesEventBase = -1;
    unsigned long m_clipboardAtom = 0;
    // The owner named by the newest XFixes event on Qt's connection, and the owner of the
    // change counted last; unknown without XFixes, and after this object's own writes.
    std::optional<unsigned long> m_announcedOwner;
    std::optional<unsigned long> m_ownerOfLastChange;
};

} // namespace corvane
