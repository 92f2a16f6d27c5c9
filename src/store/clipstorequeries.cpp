// The read side of the store: the filtered and searched history list and single look-ups.
#include "clipstore.h"
#include "common/graphemes.h"
#include "store/candidatesearch.h"
#include "store/databaseversion.h"
#include "store/rowreading.h"
#include "store/schema.h"
#include "store/transaction.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <functional>
#include <iterator>
#include <limits>

namespace corvane {

namespace {

using Value = SQLiteDatabase::Value;
// Rows a search leaves out beside those its statements exclude.
using Excluded = std::function<bool(std::int64_t)>;

// What the user typed, trimmed. A NUL would cut the bound text short inside SQLite and
// leave an unterminated FTS string behind, so it counts as a space.
QString trimmedSearch(const QString &search)
{
    QString cleaned = search;
    cleaned.replace(QChar(u'\0'), QLatin1Char(' '));
    return cleaned.trimmed();
}

// Room to make for a list of at most limit items: growing the list moves every item each
// time, which costs more than reading them on long lists.
std::size_t expectedRows(std::int64_t limit)
{
    return std::size_t(std::clamp<std::int64_t>(limit, 0, 1000));
}

// The trigram index expression that every text containing search (compared as LIKE does,
// ignoring ASCII case) matches: its distinct three-character sequences, all required.
// Nothing for a search shorter than three characters, which no trigram can narrow.
std::optional<QString> trigramQuery(const QString &search)
{
    const QList<uint> scalars = search.toUcs4();
    if (scalars.size() < 3)
        return std::nullopt;
    // Any subset of the sequences still matches every candidate; a few suffice to narrow.
    constexpr qsizetype maximumTrigrams = 16;
    QStringList trigrams;
    for (qsizetype i = 0; i + 3 <= scalars.size() && trigrams.size() < maximumTrigrams; ++i) {
        QString trigram
            = QString::fromUcs4(reinterpret_cast<const char32_t *>(scalars.constData() + i), 3);
        trigram.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        trigram = QLatin1Char('"') + trigram + QLatin1Char('"');
        if (!trigrams.contains(trigram))
            trigrams << trigram;
    }
    return trigrams.join(QLatin1Char(' '));
}

// Where the rows that may hold a two-character search are found for one kind of text: a
// trigram index (read through a vocabulary table of its terms, made on the connection) and a
// statement, completed by one list of ends per indexed part, for the texts that end with it.
// Each part is written as its index on the ends has it, or SQLite would not use the index.
struct PairSource
{
    QString trigramIndex;
    QString terms;
    QString idColumn;
    QString table;
    QStringList parts;
};

const PairSource itemsPairSource { QStringLiteral("items_trigrams"),
    QStringLiteral("items_trigram_terms"), QStringLiteral("id"), QStringLiteral("items"),
    { searchedPart(QStringLiteral("title")), QStringLiteral("subtitle"),
        searchedPart(QStringLiteral("text")) } };
const PairSource imageTextsPairSource { QStringLiteral("image_texts_trigrams"),
    QStringLiteral("image_text_trigram_terms"), QStringLiteral("item_id"),
    QStringLiteral("image_texts"), { QStringLiteral("text") } };

// Every spelling of pair that LIKE takes for it, which ignores the case of ASCII letters only.
std::vector<Value> asciiCaseVariants(const QString &pair)
{
    std::vector<QString> variants { QString() };
    for (const char32_t scalar : pair.toUcs4()) {
        const QString character = QString::fromUcs4(&scalar, 1);
        const bool letter = scalar < 0x80 && QChar(scalar).isLetter();
        std::vector<QString> longer;
        for (const QString &start : variants) {
            longer.push_back(start + (letter ? character.toLower() : character));
            if (letter)
                longer.push_back(start + character.toUpper());
        }
        variants = std::move(longer);
    }
    return std::vector<Value>(variants.begin(), variants.end());
}

// The ids of the rows that may hold pair, a search of two characters, sorted: those with a
// trigram that starts with it (compared as the index folds case, which covers the cases LIKE
// ignores) and those with a text that ends with it, where no trigram starts. Reading the
// index's terms beginning with the pair costs about as much as the rows they list, where the
// scan it replaces reads every row.
std::vector<std::int64_t> pairCandidates(
    SQLiteDatabase &database, const QString &pair, const PairSource &source)
{
    database.query(
        QStringLiteral("CREATE VIRTUAL TABLE IF NOT EXISTS temp.%1 USING fts5vocab(main, %2, "
                       "instance)")
            .arg(source.terms, source.trigramIndex));
    const QString folded = database.trigramFolded(pair);
    const QString lastCharacter = QString::fromUcs4(U"\U0010FFFF", 1);
    std::vector<std::int64_t> ids = database.gatherIntegers(QStringLiteral("doc"),
        QStringLiteral("FROM temp.%1 WHERE term >= ? AND term <= ?").arg(source.terms),
        { folded, folded + lastCharacter });

    const std::vector<Value> variants = asciiCaseVariants(pair);
    QStringList endings;
    std::vector<Value> bindings;
    for (const QString &part : source.parts) {
        endings << QStringLiteral("substr(%1, -2) IN (").arg(part)
                + rows::placeholders(variants.size()) + QLatin1Char(')');
        bindings.insert(bindings.end(), variants.begin(), variants.end());
    }
    const std::vector<std::int64_t> ending = database.gatherIntegers(source.idColumn,
        QStringLiteral("FROM %1 WHERE ").arg(source.table) + endings.join(QStringLiteral(" OR ")),
        bindings);
    ids.insert(ids.end(), ending.begin(), ending.end());
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

// "SELECT items.* FROM items" with the selection's joins and conditions, not yet ordered.
// With a text byte limit the text column holds no more than the limit and one byte, enough
// for the reader to see that a text is longer and cut it, and none of a text longer by its
// byte count, whose start the reader reads by itself: a statement that sorts its rows in a
// temporary tree (rows of equal dates by id, where no index gives that order) would take a
// 32 MB text in and out whole, three copies of it at once.
QString selectItems(const HistorySelection &selection, qsizetype textByteLimit)
{
    const QString columns
        = textByteLimit <= 0 ? QStringLiteral("items.*") : ClipItem::listedColumns(textByteLimit);
    QString sql
        = QStringLiteral("SELECT ") + columns + QStringLiteral(" FROM items") + selection.joins;
    if (!selection.conditions.isEmpty())
        sql += QStringLiteral(" WHERE ") + selection.conditions.join(QStringLiteral(" AND "));
    return sql;
}

// The pinboard and onlyUnfiled restrictions of filter in the history's order.
HistorySelection placeSelection(const ClipStore::Filter &filter)
{
    HistorySelection selection;
    if (filter.pinboardID) {
        selection.joins = QStringLiteral(
            " JOIN pinboard_items pi ON pi.item_id = items.id AND pi.pinboard_id = ?");
        selection.bindings.emplace_back(*filter.pinboardID);
    }
    if (filter.onlyUnfiled)
        selection.conditions << QStringLiteral(
            "items.id NOT IN (SELECT item_id FROM pinboard_items)");
    selection.order = filter.pinboardID
        ? QStringLiteral(" ORDER BY pi.sort_order, items.created_at DESC, items.id DESC")
        : QStringLiteral(" ORDER BY items.created_at DESC, items.id DESC");
    return selection;
}

HistorySelection substringSelection(const ClipStore::Filter &filter, const QString &search)
{
    HistorySelection selection;
    if (filter.pinboardID) {
        selection.joins = QStringLiteral(
            " JOIN pinboard_items pi ON pi.item_id = items.id AND pi.pinboard_id = ?");
        selection.bindings.emplace_back(*filter.pinboardID);
    }
    // The parts the trigram index holds, which narrows this search: a text of megabytes
    // whose start holds every trigram of the search is not found by what follows.
    selection.conditions << QStringLiteral("(%1 LIKE ? ESCAPE '\\'\n"
                                           "   OR items.subtitle LIKE ? ESCAPE '\\'\n"
                                           "   OR %2 LIKE ? ESCAPE '\\')")
                                .arg(searchedPart(QStringLiteral("items.title")),
                                    searchedPart(QStringLiteral("items.text")));
    const QString pattern = ClipStore::likePattern(search);
    selection.bindings.insert(selection.bindings.end(), { pattern, pattern, pattern });
    if (filter.onlyUnfiled)
        selection.conditions << QStringLiteral(
            "items.id NOT IN (SELECT item_id FROM pinboard_items)");
    selection.order = QStringLiteral("\nORDER BY items.created_at DESC, items.id DESC");
    return selection;
}

// The image items of place whose recognised text contains search.
HistorySelection imageSubstringSelection(const HistorySelection &place, const QString &search)
{
    HistorySelection selection = place;
    selection.conditions << QStringLiteral(
        "items.id IN (SELECT item_id FROM image_texts WHERE text LIKE ? ESCAPE '\\')");
    selection.bindings.emplace_back(ClipStore::likePattern(search));
    return selection;
}

// Gives the items found through the text in their images that text, so views can say why
// they were found.
void attachRecognizedTexts(SQLiteDatabase &database, std::vector<ClipItem> &items)
{
    if (items.empty())
        return;
    std::vector<Value> ids;
    ids.reserve(items.size());
    for (const ClipItem &item : items)
        ids.emplace_back(item.id);
    QHash<std::int64_t, QString> texts;
    database.forEachRow(QStringLiteral("SELECT item_id, text FROM image_texts WHERE item_id IN (")
            + rows::placeholders(ids.size()) + QLatin1Char(')'),
        ids, [&](const SQLiteDatabase::Cursor &cursor) {
            const SQLiteDatabase::Value text = cursor.value(1);
            if (const QString *string = std::get_if<QString>(&text))
                texts.insert(cursor.integer(0), *string);
        });
    for (ClipItem &item : items) {
        if (const auto text = texts.constFind(item.id); text != texts.constEnd())
            item.recognizedText = *text;
    }
}

// Two lists found by different indexes, each in the history's (or the pinboard's) order,
// as one list in that order with at most limit items. An item in both is kept once, as the
// first list found it.
std::vector<ClipItem> mergeInOrder(SQLiteDatabase &database, const ClipStore::Filter &filter,
    std::vector<ClipItem> found, std::vector<ClipItem> foundInImages)
{
    if (foundInImages.empty())
        return found;
    QHash<std::int64_t, std::int64_t> sortOrder;
    if (filter.pinboardID) {
        database.forEachRow(
            QStringLiteral("SELECT item_id, sort_order FROM pinboard_items WHERE pinboard_id = ?"),
            { *filter.pinboardID }, [&](const SQLiteDatabase::Cursor &cursor) {
                sortOrder.insert(cursor.integer(0), cursor.integer(1));
            });
    }
    const auto before = [&](const ClipItem &left, const ClipItem &right) {
        const std::int64_t leftPlace = sortOrder.value(left.id);
        const std::int64_t rightPlace = sortOrder.value(right.id);
        if (leftPlace != rightPlace)
            return leftPlace < rightPlace;
        if (left.createdAt != right.createdAt)
            return left.createdAt > right.createdAt;
        return left.id > right.id;
    };
    QSet<std::int64_t> seen;
    for (const ClipItem &item : found)
        seen.insert(item.id);
    std::erase_if(foundInImages, [&](const ClipItem &item) { return seen.contains(item.id); });
    attachRecognizedTexts(database, foundInImages);
    std::vector<ClipItem> merged;
    merged.reserve(found.size() + foundInImages.size());
    std::merge(std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()),
        std::make_move_iterator(foundInImages.begin()),
        std::make_move_iterator(foundInImages.end()), std::back_inserter(merged), before);
    if (filter.limit >= 0 && std::int64_t(merged.size()) > filter.limit)
        merged.resize(std::size_t(filter.limit));
    return merged;
}

// The selection for images found through their words, given what the items' own words found:
// when those fill the limit in the history's order, an image older than the last of them
// cannot make the list, and leaving it out spares reading rows that would be dropped.
HistorySelection imagesNotOlderThan(
    HistorySelection selection, const ClipStore::Filter &filter, const std::vector<ClipItem> &found)
{
    if (filter.pinboardID || filter.limit < 0 || found.empty()
        || std::int64_t(found.size()) < filter.limit)
        return selection;
    selection.conditions << QStringLiteral("items.created_at >= ?");
    selection.bindings.emplace_back(toMillis(found.back().createdAt));
    return selection;
}

// Rows whose title, subtitle, text or recognised text contains search, newest first;
// pinboard and onlyUnfiled apply, kinds and sources do not.
std::vector<ClipItem> substringSearch(SQLiteDatabase &database, const ClipStore::Filter &filter,
    const QString &search, const Excluded &excluded)
{
    const HistorySelection selection = substringSelection(filter, search);
    const HistorySelection images = imageSubstringSelection(placeSelection(filter), search);
    if (const std::optional<QString> trigrams = trigramQuery(search)) {
        std::vector<ClipItem> found = CandidateSearch(database, selection,
            filter.pinboardID ? QStringLiteral("filed_trigrams") : QStringLiteral("items_trigrams"),
            *trigrams, filter.limit, {}, filter.textByteLimit)
                                          .excluding(excluded)
                                          .run();
        std::vector<ClipItem> foundInImages = CandidateSearch(database,
            imagesNotOlderThan(images, filter, found), QStringLiteral("image_texts_trigrams"),
            *trigrams, filter.limit, {}, filter.textByteLimit)
                                                  .excluding(excluded)
                                                  .run();
        return mergeInOrder(database, filter, std::move(found), std::move(foundInImages));
    }
    // Shorter than three characters: two, or the search would not have come here.
    const auto ranked = [&](const HistorySelection &chosen, const PairSource &source) {
        return CandidateSearch(database, chosen, source.trigramIndex, QString(), filter.limit, {},
            filter.textByteLimit)
            .excluding(excluded)
            .rank(pairCandidates(database, search, source));
    };
    std::vector<ClipItem> found = ranked(selection, itemsPairSource);
    std::vector<ClipItem> foundInImages
        = ranked(imagesNotOlderThan(images, filter, found), imageTextsPairSource);
    return mergeInOrder(database, filter, std::move(found), std::move(foundInImages));
}

// The kind and source conditions of filter, added to selection.
void appendKindsAndSources(HistorySelection &selection, const ClipStore::Filter &filter)
{
    if (!filter.kinds.empty()) {
        selection.conditions << QStringLiteral("items.kind IN (")
                + rows::placeholders(filter.kinds.size()) + QLatin1Char(')');
        for (ClipKind kind : filter.kinds)
            selection.bindings.emplace_back(storedString(kind));
    }
    if (!filter.sourceBundleIDs.empty()) {
        selection.conditions << QStringLiteral("items.source_bundle_id IN (")
                + rows::placeholders(filter.sourceBundleIDs.size()) + QLatin1Char(')');
        for (const QString &bundleID : filter.sourceBundleIDs)
            selection.bindings.emplace_back(bundleID);
    }
}

// The items filter selects that search finds, without those excluded holds for. Images are
// found by the words read in them too, through an index of their own searched by the same
// plans. A pinboard's items are found through the index of the filed items alone.
std::vector<ClipItem> searchedItems(SQLiteDatabase &database, const ClipStore::Filter &filter,
    const QString &search, const Excluded &excluded)
{
    HistorySelection selection = placeSelection(filter);
    appendKindsAndSources(selection, filter);

    if (search.isEmpty()) {
        std::vector<Value> bindings = selection.bindings;
        bindings.emplace_back(filter.limit);
        return ClipItem::readAll(database,
            selectItems(selection, filter.textByteLimit) + selection.order
                + QStringLiteral(" LIMIT ?"),
            bindings, expectedRows(filter.limit), filter.textByteLimit);
    }

    const QString match = ClipStore::ftsQuery(search);
    std::vector<ClipItem> found = CandidateSearch(database, selection,
        filter.pinboardID ? QStringLiteral("filed_fts") : QStringLiteral("items_fts"), match,
        filter.limit, {}, filter.textByteLimit)
                                      .excluding(excluded)
                                      .run();
    std::vector<ClipItem> foundInImages
        = CandidateSearch(database, imagesNotOlderThan(selection, filter, found),
            QStringLiteral("image_texts_fts"), match, filter.limit, {}, filter.textByteLimit)
              .excluding(excluded)
              .run();
    found = mergeInOrder(database, filter, std::move(found), std::move(foundInImages));
    // One typed character never scans the whole table; longer texts may match inside a
    // word, which the token index cannot see.
    if (found.empty() && graphemeCount(search) >= 2)
        return substringSearch(database, filter, search, excluded);
    return found;
}

} // namespace

QString ClipStore::ftsQuery(const QString &search)
{
    QStringList phrases;
    for (QString piece : search.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        piece.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        phrases << QLatin1Char('"') + piece + QStringLiteral("\"*");
    }
    return phrases.join(QLatin1Char(' '));
}

QString ClipStore::likePattern(const QString &search)
{
    QString escaped = search;
    // The escape character itself goes first, or a typed backslash would swallow the
    // character after it and a search for a Windows path could never match.
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('%'), QStringLiteral("\\%"));
    escaped.replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

std::vector<ClipItem> ClipStore::items(const Filter &filter)
{
    return perform([&](SQLiteDatabase &database) {
        const QString search = trimmedSearch(filter.search);
        if (!filter.onlyUnfiled || filter.pinboardID)
            return searchedItems(database, filter, search, {});
        // The list the panel opens on: the newest unfiled items, which the filed ones are
        // taken out of here rather than by the statement.
        if (search.isEmpty())
            return unfiledItems(database, filter);
        // So are they from a search: testing the set the store keeps costs a fraction of
        // testing the pinboards in SQL on every row a walk by date passes. It is read in the
        // same transaction as the rows.
        return inReadTransaction(database, [&] {
            m_filedItems.refresh(database);
            Filter everywhere = filter;
            everywhere.onlyUnfiled = false;
            return searchedItems(database, everywhere, search,
                [this](std::int64_t id) { return m_filedItems.contains(id); });
        });
    });
}

std::vector<ClipItem> ClipStore::unfiledItems(SQLiteDatabase &database, const Filter &filter)
{
    return inReadTransaction(database, [&] {
        m_filedItems.refresh(database);
        HistorySelection selection;
        appendKindsAndSources(selection, filter);
        // Every filed row the walk passes costs one more row; SQLite's LIMIT stays, so the
        // statement's plan is the one it would choose for the exclusion in SQL. A negative
        // limit means none, as in SQLite.
        const auto filed = std::int64_t(m_filedItems.size());
        const std::int64_t sqlLimit = filter.limit < 0 ? -1
            : filter.limit > std::numeric_limits<std::int64_t>::max() - filed
            ? std::numeric_limits<std::int64_t>::max()
            : filter.limit + filed;
        std::vector<Value> bindings = selection.bindings;
        bindings.emplace_back(sqlLimit);
        return ClipItem::readAllSkipping(
            database,
            selectItems(selection, filter.textByteLimit)
                + QStringLiteral(" ORDER BY items.created_at DESC, items.id DESC LIMIT ?"),
            bindings, [&](std::int64_t id) { return m_filedItems.contains(id); },
            filter.limit < 0 ? std::numeric_limits<std::size_t>::max() : std::size_t(filter.limit),
            filter.textByteLimit);
    });
}

std::optional<ClipItem> ClipStore::item(std::int64_t id)
{
    return perform([&](SQLiteDatabase &database) {
        return rows::firstItem(
            database.query(QStringLiteral("SELECT * FROM items WHERE id = ?"), { id }));
    });
}

std::optional<ClipItem> ClipStore::wholeItem(ClipItem item)
{
    if (!item.isTextPartial)
        return item;
    return this->item(item.id);
}

std::optional<QByteArray> ClipStore::wholeUtf8Text(const ClipItem &item)
{
    if (!item.isTextPartial)
        return item.text ? std::optional(item.text->toUtf8()) : std::nullopt;
    QByteArray text;
    const bool whole
        = readText(item.id, item.fingerprint, textPieceBytes, [&](QByteArrayView piece) {
              // The first piece's size says nothing of the rest; growth doubles, so the copies add
              // up to the text's size once more at most, each freed at once.
              text.append(piece);
          });
    if (whole)
        return text;
    // Edited since it was listed: its text now.
    const std::optional<ClipItem> current = this->item(item.id);
    return current && current->text ? std::optional(current->text->toUtf8()) : std::nullopt;
}

bool ClipStore::readText(std::int64_t id, const QString &fingerprint, qsizetype pieceBytes,
    const std::function<void(QByteArrayView)> &consume)
{
    Q_ASSERT(pieceBytes > 0);
    qsizetype offset = 0;
    for (;;) {
        // Checked before every piece: the text may have been edited, or the history opened
        // anew, since the piece before, and the pieces must all be of one text. The
        // fingerprint is compared in its index, and typeof() reads no more of the row than
        // its header: a column stored after a long text is reached only through its pages.
        const std::optional<SQLiteDatabase::ValuePiece> piece
            = perform([&](SQLiteDatabase &database) -> std::optional<SQLiteDatabase::ValuePiece> {
                  const std::vector<SQLiteDatabase::Row> rows = database.query(
                      QStringLiteral("SELECT typeof(text) AS type FROM items WHERE id = ? "
                                     "AND id = (SELECT id FROM items WHERE "
                                     "fingerprint = ?)"),
                      { id, fingerprint });
                  const QString *type
                      = rows.empty() ? nullptr : textValue(rows.front(), QStringLiteral("type"));
                  if (!type || *type != u"text")
                      return std::nullopt;
                  return database.readValuePiece("items", "text", id, offset, pieceBytes);
              });
        if (!piece)
            return false;
        // Handed over outside the store's turn, so whatever consume does holds up no one.
        if (!piece->bytes.isEmpty())
            consume(piece->bytes);
        offset += piece->bytes.size();
        if (offset >= piece->totalBytes)
            return true;
    }
}

std::optional<ClipItem> ClipStore::itemWithFingerprint(const QString &fingerprint)
{
    return perform([&](SQLiteDatabase &database) {
        return rows::firstItem(database.query(
            QStringLiteral("SELECT * FROM items WHERE fingerprint = ?"), { fingerprint }));
    });
}

std::optional<ClipItem> ClipStore::itemWithTrigger(const QString &trigger)
{
    return perform([&](SQLiteDatabase &database) {
        return rows::firstItem(database.query(
            QStringLiteral("SELECT * FROM items WHERE trigger = ? LIMIT 1"), { trigger }));
    });
}

std::vector<ClipStore::SourceApp> ClipStore::sourceApps(std::int64_t maximumCount)
{
    return perform([&](SQLiteDatabase &database) {
        // Counting by application reads the whole of an index, while the panel asks on every
        // reload: unless something was written since, the last answer stands.
        const DatabaseVersion version = DatabaseVersion::current(database);
        if (m_sourceApps.readAt == version && m_sourceApps.limit == maximumCount)
            return m_sourceApps.apps;
        m_sourceApps.readAt.reset();
        const auto found = database.query(
            QStringLiteral("SELECT source_bundle_id AS bundle_id,\n"
                           "       COALESCE(MAX(source_app_name), source_bundle_id) AS name,\n"
                           "       COUNT(*) AS item_count\n"
                           "FROM items\n"
                           "WHERE source_bundle_id IS NOT NULL AND source_bundle_id <> ''\n"
                           "GROUP BY source_bundle_id\n"
                           "ORDER BY item_count DESC, name\n"
                           "LIMIT ?"),
            { maximumCount });
        std::vector<SourceApp> apps;
        apps.reserve(found.size());
        for (const SQLiteDatabase::Row &row : found)
            apps.push_back(SourceApp::fromRow(row));
        m_sourceApps = { .readAt = version, .limit = maximumCount, .apps = apps };
        return apps;
    });
}

ClipStore::Statistics ClipStore::statistics()
{
    return perform([&](SQLiteDatabase &database) {
        const auto found = database.query(
            QStringLiteral("SELECT COUNT(*) AS c, COALESCE(SUM(byte_count), 0) AS b FROM items"));
        return Statistics { rows::firstInteger(found, QStringLiteral("c"), 0),
            rows::firstInteger(found, QStringLiteral("b"), 0) };
    });
}

std::optional<Timestamp> ClipStore::newestCreatedAt()
{
    return perform([&](SQLiteDatabase &database) -> std::optional<Timestamp> {
        const auto found
            = database.query(QStringLiteral("SELECT MAX(created_at) AS newest FROM items"));
        const std::int64_t *newest
            = found.empty() ? nullptr : integerValue(found[0], QStringLiteral("newest"));
        if (!newest)
            return std::nullopt;
        return fromMillis(*newest);
    });
}

} // namespace corvane
