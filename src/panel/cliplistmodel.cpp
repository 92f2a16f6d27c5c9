#include "panel/cliplistmodel.h"

#include <QDateTime>

#include <algorithm>

namespace corvane {

namespace {

QVariant optionalString(const std::optional<QString> &value)
{
    return value ? QVariant(*value) : QVariant();
}

} // namespace

ClipListModel::ClipListModel(std::function<bool(const ClipItem &)> isHighlighted, QObject *parent)
    : QAbstractListModel(parent)
    , m_isHighlighted(std::move(isHighlighted))
{ }

bool ClipListModel::setItems(const std::vector<ClipItem> &items)
{
    if (items == m_items)
        return false;
    const auto sameItem = [](const ClipItem &a, const ClipItem &b) { return a.id == b.id; };
    if (std::ranges::equal(items, m_items, sameItem)) {
        // The same rows (a search answered again, a title filled in): the cards stay where
        // they are, scrolled as they were, and only the changed ones redraw.
        for (std::size_t row = 0; row < items.size(); ++row) {
            if (items[row] == m_items[row])
                continue;
            m_items[row] = items[row];
            Q_EMIT dataChanged(index(int(row)), index(int(row)));
        }
        return true;
    }
    beginResetModel();
    m_items = items;
    endResetModel();
    return true;
}

void ClipListModel::highlightChanged()
{
    if (m_items.empty())
        return;
    Q_EMIT dataChanged(index(0), index(rowCount() - 1), { IsHighlightedRole });
}

int ClipListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_items.size());
}

QVariant ClipListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const ClipItem &item = m_items[static_cast<std::size_t>(index.row())];
    switch (role) {
    case ItemIDRole:
        return QVariant::fromValue(static_cast<qint64>(item.id));
    case KindRole:
        return storedString(item.kind);
    case KindLabelRole:
        return label(item.kind);
    case TextRole:
        return optionalString(item.text);
    case TitleRole:
    case Qt::DisplayRole:
        return item.title;
    case SubtitleRole:
        return optionalString(item.subtitle);
    case BlobNameRole:
        return optionalString(item.blobName);
    case ByteCountRole:
        return QVariant::fromValue(static_cast<qint64>(item.byteCount));
    case SourceBundleIDRole:
        return optionalString(item.sourceBundleID);
    case SourceAppNameRole:
        return optionalString(item.sourceAppName);
    case CreatedAtRole:
        return QDateTime::fromMSecsSinceEpoch(toMillis(item.createdAt));
    case TriggerRole:
        return optionalString(item.trigger);
    case OrdinalRole:
        return index.row() + 1;
    case IsHighlightedRole:
        return m_isHighlighted && m_isHighlighted(item);
    case FoundInImageTextRole:
        return item.recognizedText.has_value();
    default:
        return {};
    }
}

QHash<int, QByteArray> ClipListModel::roleNames() const
{
    return {
        { ItemIDRole, "itemID" },
        { KindRole, "kind" },
        { KindLabelRole, "kindLabel" },
        { TextRole, "text" },
        { TitleRole, "title" },
        { SubtitleRole, "subtitle" },
        { BlobNameRole, "blobName" },
        { ByteCountRole, "byteCount" },
        { SourceBundleIDRole, "sourceBundleID" },
        { SourceAppNameRole, "sourceAppName" },
        { CreatedAtRole, "createdAt" },
        { TriggerRole, "trigger" },
        { OrdinalRole, "ordinal" },
        { IsHighlightedRole, "isHighlighted" },
        { FoundInImageTextRole, "foundInImageText" },
    };
}

} // namespace corvane
