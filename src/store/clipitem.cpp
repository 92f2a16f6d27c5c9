#include "clipitem.h"

#include "common/graphemes.h"
#include "common/utf8text.h"

#include <QCryptographicHash>

#include <algorithm>
#include <array>
#include <limits>

namespace corvane {

namespace {

using Value = SQLiteDatabase::Value;

// The columns of `items` an item is read from, in the order of `columnNames`.
enum Column {
    id,
    kind,
    text,
    title,
    subtitle,
    blobName,
    fileBookmark,
    byteCount,
    sourceBundleID,
    sourceAppName,
    createdAt,
    lastUsedAt,
    fingerprintColumn,
    trigger,
    columnCount
};

const QString &columnName(Column column)
{
    static const QString names[columnCount] = { QStringLiteral("id"), QStringLiteral("kind"),
        QStringLiteral("text"), QStringLiteral("title"), QStringLiteral("subtitle"),
        QStringLiteral("blob_name"), QStringLiteral("file_bookmark"), QStringLiteral("byte_count"),
        QStringLiteral("source_bundle_id"), QStringLiteral("source_app_name"),
        QStringLiteral("created_at"), QStringLiteral("last_used_at"), QStringLiteral("fingerprint"),
        QStringLiteral("trigger") };
    return names[column];
}

// Fills a default item through access, which reads a column as integer, text, blob or kind
// and gives nothing when the column is missing or holds another kind of value.
template <typename Access> void assemble(ClipItem &item, const Access &access)
{
    item.id = access.integer(id).value_or(0);
    item.kind = access.kind(kind);
    item.text = access.listedText(text, item.isTextPartial);
    item.title = access.textOrSame(title, text, item.isTextPartial ? std::nullopt : item.text)
                     .value_or(QString());
    item.subtitle = access.text(subtitle);
    item.blobName = access.text(blobName);
    item.fileBookmark = access.blob(fileBookmark);
    item.byteCount = access.integer(byteCount).value_or(0);
    item.sourceBundleID = access.repeatedText(sourceBundleID);
    item.sourceAppName = access.repeatedText(sourceAppName);
    const auto time = [&](Column column) {
        const std::optional<std::int64_t> millis = access.integer(column);
        return millis ? fromMillis(*millis) : distantPast;
    };
    item.createdAt = time(createdAt);
    item.lastUsedAt = time(lastUsedAt);
    item.fingerprint = access.text(fingerprintColumn).value_or(QString());
    item.trigger = access.text(trigger);
}

struct RowAccess
{
    const SQLiteDatabase::Row &row;

    template <typename T> std::optional<T> get(Column column) const
    {
        const auto found = row.values.constFind(columnName(column));
        if (found == row.values.cend())
            return std::nullopt;
        if (const T *value = std::get_if<T>(&found.value()))
            return *value;
        return std::nullopt;
    }
    std::optional<std::int64_t> integer(Column column) const { return get<std::int64_t>(column); }
    std::optional<QString> text(Column column) const { return get<QString>(column); }
    std::optional<QString> listedText(Column column, bool &) const { return text(column); }
    std::optional<QByteArray> blob(Column column) const { return get<QByteArray>(column); }
    std::optional<QString> textOrSame(Column column, Column, const std::optional<QString> &) const
    {
        return text(column);
    }
    std::optional<QString> repeatedText(Column column) const { return text(column); }
    ClipKind kind(Column column) const
    {
        const std::optional<QString> stored = text(column);
        return stored ? clipKindFromStoredString(*stored) : ClipKind::text;
    }
};

// Texts that recur from row to row (the source applications), each converted once per list.
class RepeatedTexts
{
public:
    QString text(QByteArrayView utf8)
    {
        // Compared by hash first: most rows name one of a dozen applications.
        const std::size_t hash = qHash(utf8);
        for (const Seen &seen : m_seen) {
            if (seen.hash == hash && seen.bytes == utf8)
                return seen.text;
        }
        QString converted = QString::fromUtf8(utf8);
        // A history with many sources just converts the rest as usual.
        if (m_seen.size() < 64)
            m_seen.push_back({ hash, utf8.toByteArray(), converted });
        return converted;
    }

private:
    struct Seen
    {
        std::size_t hash;
        QByteArray bytes;
        QString text;
    };
    std::vector<Seen> m_seen;
};

// Reads every column of a row once, then builds the item from those cells.
class CursorAccess
{
public:
    using Cell = SQLiteDatabase::Cursor::Cell;

    CursorAccess(const SQLiteDatabase::Cursor &cursor, const std::array<int, columnCount> &indexes,
        RepeatedTexts &repeated, qsizetype textByteLimit)
        : m_repeated(repeated)
        , m_textByteLimit(textByteLimit)
    {
        for (std::size_t column = 0; column < columnCount; ++column) {
            if (indexes[column] >= 0)
                m_cells[column] = cursor.cell(indexes[column]);
        }
    }

    std::optional<std::int64_t> integer(Column column) const
    {
        const Cell &found = cell(column);
        if (found.kind != Cell::Kind::integer)
            return std::nullopt;
        return found.integer;
    }
    std::optional<QString> text(Column column) const
    {
        const Cell &found = cell(column);
        if (found.kind != Cell::Kind::text)
            return std::nullopt;
        return QString::fromUtf8(found.bytes);
    }
    // The text, or its start within the byte limit (never splitting a character).
    std::optional<QString> listedText(Column column, bool &cut) const
    {
        const Cell &found = cell(column);
        if (found.kind != Cell::Kind::text || m_textByteLimit <= 0
            || found.bytes.size() <= m_textByteLimit)
            return text(column);
        cut = true;
        return decodedUtf8Start(found.bytes, m_textByteLimit);
    }
    std::optional<QByteArray> blob(Column column) const
    {
        const Cell &found = cell(column);
        if (found.kind != Cell::Kind::blob)
            return std::nullopt;
        return found.bytes.toByteArray();
    }
    // A one-line text is its own title: when the bytes are the same, so is the string, which
    // saves converting and storing it twice.
    std::optional<QString> textOrSame(
        Column column, Column earlier, const std::optional<QString> &earlierValue) const
    {
        const Cell &found = cell(column);
        const Cell &before = cell(earlier);
        if (earlierValue && found.kind == Cell::Kind::text && before.kind == Cell::Kind::text
            && found.bytes == before.bytes)
            return earlierValue;
        return text(column);
    }
    std::optional<QString> repeatedText(Column column) const
    {
        const Cell &found = cell(column);
        if (found.kind != Cell::Kind::text)
            return std::nullopt;
        return m_repeated.text(found.bytes);
    }
    // Compared as bytes: every row has a kind, and none needs a string built for it.
    ClipKind kind(Column column) const
    {
        const Cell &found = cell(column);
        if (found.kind != Cell::Kind::text)
            return ClipKind::text;
        return clipKindFromStoredUtf8(found.bytes);
    }

private:
    const Cell &cell(Column column) const { return m_cells[std::size_t(column)]; }

    std::array<Cell, columnCount> m_cells {};
    RepeatedTexts &m_repeated;
    qsizetype m_textByteLimit;
};

// Where each column of an item is in the statement's rows, or -1.
std::array<int, columnCount> columnIndexes(const SQLiteDatabase::Cursor &cursor)
{
    std::array<int, columnCount> indexes {};
    for (int column = 0; column < columnCount; ++column)
        indexes[std::size_t(column)] = cursor.columnIndex(columnName(Column(column)));
    return indexes;
}

// The name listedColumns gives the type of the text under.
const QString &textTypeColumn()
{
    static const QString name = QStringLiteral("text_type");
    return name;
}

// Reads the start of an item's text that its statement left out for its length: from the
// row's pages by themselves, so only the start's pages are read.
void readTextStart(SQLiteDatabase &database, ClipItem &item, qsizetype textByteLimit)
{
    const SQLiteDatabase::ValuePiece start
        = database.readValuePiece("items", "text", item.id, 0, textByteLimit + 1);
    item.isTextPartial = start.totalBytes > textByteLimit;
    item.text = decodedUtf8Start(start.bytes, textByteLimit);
}

// Every row of the statement as an item, but those whose id skip (when given) accepts, and
// at most limit of them; room for expectedRows items is made up front.
std::vector<ClipItem> readItems(SQLiteDatabase &database, const QString &sql,
    const std::vector<Value> &bindings, const std::function<bool(std::int64_t id)> &skip,
    std::size_t limit, std::size_t expectedRows, qsizetype textByteLimit)
{
    std::vector<ClipItem> items;
    if (limit == 0)
        return items;
    items.reserve(expectedRows);
    std::array<int, columnCount> indexes {};
    int textTypeIndex = -1;
    RepeatedTexts repeated;
    bool located = false;
    database.forEachRowWhile(sql, bindings, [&](const SQLiteDatabase::Cursor &cursor) {
        if (!located) {
            indexes = columnIndexes(cursor);
            textTypeIndex = cursor.columnIndex(textTypeColumn());
            located = true;
        }
        const int idIndex = indexes[std::size_t(Column::id)];
        if (skip && idIndex >= 0 && skip(cursor.integer(idIndex)))
            return true;
        // Built where it stays: an item is large, and moving it costs as much as a field.
        ClipItem &item = items.emplace_back();
        assemble(item, CursorAccess(cursor, indexes, repeated, textByteLimit));
        if (!item.text && textByteLimit > 0 && textTypeIndex >= 0
            && cursor.cell(textTypeIndex).bytes == "text")
            readTextStart(database, item, textByteLimit);
        return items.size() < limit;
    });
    return items;
}

} // namespace

ClipItem ClipItem::fromRow(const SQLiteDatabase::Row &row)
{
    ClipItem item;
    assemble(item, RowAccess { row });
    return item;
}

QString ClipItem::listedColumns(qsizetype textByteLimit)
{
    // The start is cut from the bytes: substr of the text itself would count its characters.
    return QStringLiteral("items.id, items.kind, "
                          "CASE WHEN items.byte_count <= %1 "
                          "THEN CAST(substr(CAST(items.text AS BLOB), 1, %2) AS TEXT) END AS text, "
                          "typeof(items.text) AS %3, items.title, items.subtitle, "
                          "items.blob_name, items.file_bookmark, items.byte_count, "
                          "items.source_bundle_id, items.source_app_name, items.created_at, "
                          "items.last_used_at, items.fingerprint, items.trigger")
        .arg(textByteLimit)
        .arg(textByteLimit + 1)
        .arg(textTypeColumn());
}

std::vector<ClipItem> ClipItem::readAll(SQLiteDatabase &database, const QString &sql,
    const std::vector<Value> &bindings, std::size_t expectedRows, qsizetype textByteLimit)
{
    return readItems(database, sql, bindings, nullptr, std::numeric_limits<std::size_t>::max(),
        expectedRows, textByteLimit);
}

std::vector<ClipItem> ClipItem::readAllSkipping(SQLiteDatabase &database, const QString &sql,
    const std::vector<Value> &bindings, const std::function<bool(std::int64_t id)> &skip,
    std::size_t limit, qsizetype textByteLimit)
{
    return readItems(
        database, sql, bindings, skip, limit, std::min<std::size_t>(limit, 1000), textByteLimit);
}

QString ClipItem::summary(qsizetype limit) const
{
    QString line = title;
    if (subtitle)
        line += QStringLiteral(" — ") + *subtitle;
    line = line.simplified();
    if (graphemeCount(line) <= limit)
        return line;
    return leftGraphemes(line, limit).trimmed() + QStringLiteral("…");
}

QString fingerprint(
    ClipKind kind, const std::optional<QString> &text, const std::optional<QByteArray> &payload)
{
    return fingerprintOfUtf8(kind, text ? std::optional(text->toUtf8()) : std::nullopt, payload);
}

QString fingerprintOfUtf8(ClipKind kind, const std::optional<QByteArray> &utf8Text,
    const std::optional<QByteArray> &payload)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(storedString(kind).toUtf8());
    if (utf8Text) {
        const qsizetype nul = utf8Text->indexOf('\0');
        hash.addData(QByteArrayView(*utf8Text).first(nul >= 0 ? nul : utf8Text->size()));
    }
    if (payload)
        hash.addData(*payload);
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace corvane
