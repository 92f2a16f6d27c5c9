#pragma once

#include "platform/pasteboardsnapshot.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <cstdint>

namespace corvane {

// The system clipboard the history watches and writes back to. Reading never blocks: the
// contents arrive later as a snapshot, so an owner that answers slowly or never cannot
// freeze the caller.
class Pasteboard : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~Pasteboard() override;

    // A number that grows whenever the contents are replaced, by any process, and by exactly
    // one for each write this object makes; equal values mean no change.
    virtual std::int64_t changeCount() const = 0;

    // Starts reading the current contents; contentsRead reports them later, on this object's
    // thread. A request overtaken by a newer one before it finished is never reported.
    // Returns the request's number, which grows with every request.
    virtual std::uint64_t readContents(const PasteboardReadOptions &options) = 0;

    // Replaces the contents with nothing of this process's own, advancing changeCount by one.
    virtual void clearContents() = 0;
    // Add to the contents of the current write without advancing changeCount; when another
    // process replaced the contents since the last clearContents, they clear them first.
    virtual void setString(const QString &string) = 0;
    virtual void setData(const QByteArray &data, const QString &type) = 0;
    virtual void writeFileURLs(const QList<QUrl> &urls) = 0;

Q_SIGNALS:
    // changeCount moved.
    void changed();
    void contentsRead(std::uint64_t request, const corvane::PasteboardSnapshot &snapshot);
};

} // namespace corvane
