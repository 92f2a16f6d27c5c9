#pragma once

#include "platform/pasteboard.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace corvane {

// An in-memory clipboard for tests. Other processes are simulated by copyFromOtherProcess
// and ownerExited; reads are answered from the contents at the moment of the request,
// delivered through the event loop like the real clipboard's.
class FakePasteboard : public Pasteboard
{
    Q_OBJECT

public:
    using Contents = QList<std::pair<QString, QByteArray>>;

    // decodeImage turns image bytes into an image; without one, images are never found.
    explicit FakePasteboard(PasteboardImageDecoder decodeImage = {}, QObject *parent = nullptr);

    std::int64_t changeCount() const override { return m_changeCount; }
    std::uint64_t readContents(const PasteboardReadOptions &options) override;
    void clearContents() override;
    void setString(const QString &string) override;
    void setData(const QByteArray &data, const QString &type) override;
    void writeFileURLs(const QList<QUrl> &urls) override;

    // Another process takes the clipboard with these types and bytes, in this order.
    void copyFromOtherProcess(const Contents &contents);
    // The owning process exits: the clipboard is empty.
    void ownerExited();

    // What a read would report now.
    PasteboardSnapshot snapshot(const PasteboardReadOptions &options) const;
    // The types and bytes on the clipboard now.
    Contents contents() const { return m_contents; }
    // The types whose bytes reads have fetched, in order, since construction.
    QStringList fetchedTypes() const { return m_fetchedTypes; }

private:
    void replace(const QString &type, const QByteArray &data);
    void beginWriteIfNeeded();

    PasteboardImageDecoder m_decodeImage;
    Contents m_contents;
    std::int64_t m_changeCount = 0;
    std::uint64_t m_lastRequest = 0;
    bool m_ownsContents = false;
    mutable QStringList m_fetchedTypes;
};

} // namespace corvane
