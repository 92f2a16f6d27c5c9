#include "panel/cliplistmodel.h"

#include "common/graphemecounter.h"
#include "common/graphemes.h"

#include <QDateTime>

#include <optional>
#include <unordered_map>

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
{
    m_counting.setMaxThreadCount(1);
}

ClipListModel::~ClipListModel()
{
    // A count finishing now posts to this object; Qt drops what is posted to a dead one.
    m_counting.waitForDone();
}

QVariant ClipListModel::characterCount(const ClipItem &item) const
{
    if (item.kind != ClipKind::text || !item.text)
        return {};
    if (item.text->size() < longTextCharacters && !item.isTextPartial)
        return static_cast<int>(graphemeCount(*item.text));
    if (const auto found = m_characterCounts.constFind(item.fingerprint);
        found != m_characterCounts.cend())
        return *found;
    countInBackground(item);
    return {};
}

void ClipListModel::countInBackground(const ClipItem &item) const
{
    if (m_countsInFlight.contains(item.fingerprint) || (item.isTextPartial && !readWholeText))
        return;
    m_countsInFlight.insert(item.fingerprint);
    auto *self = const_cast<ClipListModel *>(this);
    m_counting.start([self, item, read = readWholeText] {
        int count = -1;
        try {
            if (!item.isTextPartial) {
                count = static_cast<int>(graphemeCount(*item.text));
            } else {
                // Counted piece by piece: the whole text would be held twice over (its UTF-8
                // and a string of twice the size) on top of everything else.
                GraphemeCounter counter;
                if (read(item, [&counter](QByteArrayView utf8) { counter.add(utf8); }))
                    count = static_cast<int>(counter.finish());
            }
        } catch (const std::exception &) {
            // The card goes without a count.
        }
        const QString fingerprint = item.fingerprint;
        QMetaObject::invokeMethod(
            self, [self, fingerprint, count] { self->noteCounted(fingerprint, count); },
            Qt::QueuedConnection);
    });
}

void ClipListModel::noteCounted(const QString &fingerprint, int count)
{
    m_countsInFlight.remove(fingerprint);
    if (count < 0)
        return;
    m_characterCounts.insert(fingerprint, count);
    for (std::size_t row = 0; row < m_items.size(); ++row) {
        if (m_items[row].fingerprint == fingerprint)
            Q_EMIT dataChanged(index(int(row)), index(int(row)), { CharacterCountRole });
    }
}

bool ClipListModel::setItems(const std::vector<ClipItem> &items)
{
    if (items == m_items)
        return false;
    // Cards that stay keep their delegates: the list is told which rows went and which came
    // rather than reset, so a search answered again recreates only the cards it changed.
    const bool removed = removeRowsMissingFrom(items);
    const bool inserted = insertRowsMissingFrom(items);
    // A card's number is its row's: rows below a removal or an insertion moved.
    if ((removed || inserted) && !m_items.empty())
        Q_EMIT dataChanged(index(0), index(rowCount() - 1), { OrdinalRole });
    for (std::size_t row = 0; row < items.size(); ++row) {
        if (items[row] == m_items[row])
            continue;
        m_items[row] = items[row];
        Q_EMIT dataChanged(index(int(row)), index(int(row)));
    }
    return true;
}

bool ClipListModel::removeRowsMissingFrom(const std::vector<ClipItem> &items)
{
    std::unordered_map<std::int64_t, std::size_t> newRow;
    for (std::size_t row = 0; row < items.size(); ++row)
        newRow.emplace(items[row].id, row);
    // A row stays when its item is in the new list after every row kept above it; the rest
    // go, in runs from the bottom so the rows above keep their numbers.
    std::vector<bool> keeps(m_items.size(), false);
    std::optional<std::size_t> lastKept;
    for (std::size_t row = 0; row < m_items.size(); ++row) {
        const auto found = newRow.find(m_items[row].id);
        if (found == newRow.end() || (lastKept && found->second <= *lastKept))
            continue;
        keeps[row] = true;
        lastKept = found->second;
    }
    bool removed = false;
    for (std::size_t end = m_items.size(); end > 0;) {
        if (keeps[end - 1]) {
            --end;
            continue;
        }
        std::size_t first = end - 1;
        while (first > 0 && !keeps[first - 1])
            --first;
        beginRemoveRows({}, int(first), int(end - 1));
        m_items.erase(
            m_items.begin() + std::ptrdiff_t(first), m_items.begin() + std::ptrdiff_t(end));
        endRemoveRows();
        removed = true;
        end = first;
    }
    return removed;
}

bool ClipListModel::insertRowsMissingFrom(const std::vector<ClipItem> &items)
{
    // What is left is in the new list's order; the new rows go in between, run by run.
    bool inserted = false;
    std::size_t row = 0;
    while (row < items.size()) {
        if (row < m_items.size() && m_items[row].id == items[row].id) {
            ++row;
            continue;
        }
        std::size_t end = row;
        while (end < items.size() && (row >= m_items.size() || items[end].id != m_items[row].id))
            ++end;
        beginInsertRows({}, int(row), int(end - 1));
        m_items.insert(m_items.begin() + std::ptrdiff_t(row), items.begin() + std::ptrdiff_t(row),
            items.begin() + std::ptrdiff_t(end));
        endInsertRows();
        inserted = true;
        row = end;
    }
    return inserted;
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
    case CharacterCountRole:
        return characterCount(item);
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
        { CharacterCountRole, "characterCount" },
    };
}

} // namespace corvane
