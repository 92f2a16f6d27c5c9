#pragma once

#include "platform/pasteboard.h"

#include <QList>

#include <utility>

namespace corvane {

// A system clipboard this process writes by offering its whole contents anew on every write
// (X11 and Wayland both work that way), and reads through a reader on another thread. Keeps
// what was written, the change count and the newest read request; a backend says how the
// contents are offered and read, and reports foreign changes and read results here.
class OwnedPasteboard : public Pasteboard
{
    Q_OBJECT

public:
    using Contents = QList<std::pair<QString, QByteArray>>;

    using Pasteboard::Pasteboard;

    std::int64_t changeCount() const final { return m_changeCount; }
    std::uint64_t readContents(const PasteboardReadOptions &options) final;
    void clearContents() final;
    void setString(const QString &string) final;
    void setData(const QByteArray &data, const QString &type) final;
    void writeFileURLs(const QList<QUrl> &urls) final;

protected:
    // Offers these contents to other clients in place of whatever this process offered.
    virtual void publish(const Contents &contents) = 0;
    // Starts reading the current contents; the answer comes back through deliver().
    virtual void startRead(std::uint64_t request, const PasteboardReadOptions &options) = 0;

    // Another client replaced the contents.
    void noteForeignChange();
    // A read's answer, on this object's thread; one that a newer request overtook is dropped.
    void deliver(std::uint64_t request, const PasteboardSnapshot &snapshot);

private:
    void add(const QString &type, const QByteArray &data);

    Contents m_written;
    std::int64_t m_changeCount = 0;
    std::uint64_t m_lastRequest = 0;
    bool m_ownsContents = false;
};

} // namespace corvane
