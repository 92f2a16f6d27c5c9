#pragma once

#include "store/clipitem.h"

#include <QAbstractListModel>
#include <QHash>
#include <QSet>
#include <QThreadPool>

#include <functional>
#include <vector>

namespace corvane {

// The history model's cards as a list for the panel's card strip. A new list reaches the
// views as the rows that went, came or changed, so a reload that finds the same items keeps
// every card as it is.
class ClipListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    // Role names are the card delegate's required property names.
    enum Role {
        ItemIDRole = Qt::UserRole + 1,
        KindRole,
        KindLabelRole,
        TextRole,
        TitleRole,
        SubtitleRole,
        BlobNameRole,
        ByteCountRole,
        SourceBundleIDRole,
        SourceAppNameRole,
        CreatedAtRole,
        TriggerRole,
        OrdinalRole,
        IsHighlightedRole,
        FoundInImageTextRole,
        // A text item's length in characters as a reader counts them (grapheme clusters);
        // undefined for other kinds, and while a long text is still being counted.
        CharacterCountRole,
    };
    Q_ENUM(Role)

    // isHighlighted answers whether a card is drawn as selected.
    explicit ClipListModel(
        std::function<bool(const ClipItem &)> isHighlighted, QObject *parent = nullptr);
    // Waits for the texts still being counted.
    ~ClipListModel() override;

    // Hands the whole text of an item the list holds only the start of to consume, as UTF-8
    // in pieces (ClipStore::readText); false when it cannot. Called on the counting thread,
    // so it must be safe there. Without it, a cut text shows no count.
    using TextPieces = std::function<void(QByteArrayView utf8)>;
    std::function<bool(const ClipItem &item, const TextPieces &consume)> readWholeText;

    // Texts from this many characters on are counted on a worker thread: a 32 MB text takes
    // most of a second.
    static constexpr qsizetype longTextCharacters = 4096;

    const std::vector<ClipItem> &items() const { return m_items; }
    // Replaces the list; false, and nothing notified, when it equals the current one. Rows are
    // removed, inserted and changed rather than the model reset, so cards that stay keep
    // their delegates and the view its place.
    bool setItems(const std::vector<ClipItem> &items);
    // The selection or the marks moved: every card's highlight may differ.
    void highlightChanged();

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    // The two steps of setItems, each saying whether it changed rows: afterwards the rows
    // are the new list's ids in its order.
    bool removeRowsMissingFrom(const std::vector<ClipItem> &items);
    bool insertRowsMissingFrom(const std::vector<ClipItem> &items);

    QVariant characterCount(const ClipItem &item) const;
    void countInBackground(const ClipItem &item) const;
    void noteCounted(const QString &fingerprint, int count);

    std::function<bool(const ClipItem &)> m_isHighlighted;
    // Long texts' counts by content fingerprint, which changes with the text.
    mutable QHash<QString, int> m_characterCounts;
    mutable QSet<QString> m_countsInFlight;
    mutable QThreadPool m_counting;
    std::vector<ClipItem> m_items;
};

} // namespace corvane
