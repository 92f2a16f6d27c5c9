#pragma once

#include "store/clipitem.h"

#include <QAbstractListModel>

#include <functional>
#include <vector>

namespace corvane {

// The history model's cards as a list for the panel's card strip. The list is replaced as
// a whole, and the views are reset only when it differs, so a reload that finds the same
// items keeps every card as it is.
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
    };
    Q_ENUM(Role)

    // isHighlighted answers whether a card is drawn as selected.
    explicit ClipListModel(
        std::function<bool(const ClipItem &)> isHighlighted, QObject *parent = nullptr);

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

    std::function<bool(const ClipItem &)> m_isHighlighted;
    std::vector<ClipItem> m_items;
};

} // namespace corvane
