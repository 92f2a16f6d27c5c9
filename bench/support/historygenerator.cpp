#include "historygenerator.h"

#include "store/clipstore.h"
#include "store/rowreading.h"
#include "store/schema.h"
#include "store/sqlitedatabase.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <random>

namespace corvane {

namespace {

// Bumped whenever the generated content changes, so older cached stores are not reused.
constexpr int generatorVersion = 2;

const char *const commonWords[] = { "the", "and", "for", "that", "with", "this", "you", "not",
    "are", "from", "have", "was", "will", "can", "all", "but", "about", "please", "thanks",
    "meeting", "tomorrow", "invoice", "password", "address", "project", "release", "build", "error",
    "server", "client", "config", "contract", "content", "contact", "control", "send", "see",
    "some", "same", "should", "status", "support", "system", "service", "search", "report",
    "review", "update", "user", "value", "version", "window", "world", "order", "number", "name",
    "new", "note", "open", "office", "people", "phone", "price", "question", "quick", "result",
    "room", "schedule", "second", "simple", "start", "team", "test", "text", "time", "today",
    "week", "work", "year", "yes", "zone", "data", "date", "draft", "email", "file", "final",
    "friday", "group", "help", "home", "hotel", "image", "issue", "key", "link", "list", "login",
    "mail", "main", "make", "monday", "month", "müller", "café", "naïve", "straße", "résumé" };

// Syllables make the long tail of rarer words, the way names and jargon spread word starts.
const char *const syllables[] = { "ka", "lo", "mi", "ne", "ru", "sa", "ti", "vo", "ber", "con",
    "dar", "fen", "gil", "hor", "jun", "pas", "quo", "wes", "zel", "tra", "an", "el", "or", "us",
    "pro", "sta", "ex", "im", "de", "re" };

const char *const hosts[] = { "www.example.com", "docs.example.org", "github.com",
    "news.example.net", "mail.example.com", "shop.example.de", "wiki.example.org" };

struct SourceApplication
{
    const char *bundleID;
    const char *name;
};
const SourceApplication applications[]
    = { { "org.mozilla.firefox", "Firefox" }, { "org.gnome.Terminal", "Terminal" },
          { "org.kde.kate", "Kate" }, { "com.example.mail", "Mail" },
          { "com.example.chat", "Chat" }, { "org.gnome.Nautilus", "Files" },
          { "com.example.office", "Office" }, { "org.example.editor", "Editor" },
          { "com.example.notes", "Notes" }, { "org.gnome.Calculator", "Calculator" },
          { "com.example.browser", "Browser" }, { "org.example.ide", "IDE" } };

class Maker
{
public:
    explicit Maker(unsigned seed)
        : m_random(seed)
    { }

    std::uint32_t below(std::uint32_t bound) { return m_random() % bound; }
    int between(int low, int high) { return low + int(below(std::uint32_t(high - low + 1))); }

    QString word()
    {
        if (below(5) < 3) {
            // Common words follow a rough power law: the first ones far more often.
            const auto count = std::uint32_t(std::size(commonWords));
            const std::uint32_t index = std::min(below(count), below(count));
            return QString::fromUtf8(commonWords[index]);
        }
        QString made;
        const int parts = between(2, 4);
        for (int i = 0; i < parts; ++i)
            made += QString::fromLatin1(syllables[below(std::size(syllables))]);
        return made;
    }

    QString words(int count)
    {
        QStringList pieces;
        for (int i = 0; i < count; ++i)
            pieces << word();
        return pieces.join(QLatin1Char(' '));
    }

    QString sentence()
    {
        QString made = words(between(5, 18));
        made[0] = made[0].toUpper();
        return made + (below(6) == 0 ? QStringLiteral("?") : QStringLiteral("."));
    }

    QString paragraph(int sentences)
    {
        QStringList lines;
        for (int i = 0; i < sentences; ++i)
            lines << sentence();
        return lines.join(below(3) == 0 ? QStringLiteral("\n") : QStringLiteral(" "));
    }

    QString identifier()
    {
        QString made = word();
        const QString second = word();
        return made + second.left(1).toUpper() + second.mid(1);
    }

    QString codeLine()
    {
        switch (below(4)) {
        case 0:
            return QStringLiteral("    const auto %1 = %2.%3(%4);")
                .arg(identifier(), identifier(), identifier())
                .arg(below(1000));
        case 1:
            return QStringLiteral("if (%1 != nullptr && %2->%3()) { return %4; }")
                .arg(identifier(), identifier(), identifier(), identifier());
        case 2:
            return QStringLiteral("git commit -m \"%1\" && git push origin %2")
                .arg(words(between(2, 6)), identifier());
        default:
            return QStringLiteral("SELECT %1, %2 FROM %3 WHERE %1 LIKE '%%4%';")
                .arg(identifier(), identifier(), identifier(), word());
        }
    }

    ClipCandidate candidate(std::int64_t serial)
    {
        ClipCandidate made;
        const std::uint32_t shape = below(1000);
        QString content;
        if (shape < 250) {
            content = words(between(1, 4));
        } else if (shape < 500) {
            content = sentence();
        } else if (shape < 640) {
            const QString host = QString::fromLatin1(hosts[below(std::size(hosts))]);
            content = QStringLiteral("https://%1/%2/%3-%4?id=%5")
                          .arg(host, word(), word(), word())
                          .arg(serial);
            made.kind = ClipKind::link;
            made.text = content.toUtf8();
            made.title = sentence();
            made.subtitle = host;
        } else if (shape < 760) {
            content = codeLine();
        } else if (shape < 900) {
            content = paragraph(between(2, 8));
        } else if (shape < 940) {
            content = QStringLiteral("#%1").arg(below(0x1000000), 6, 16, QLatin1Char('0'));
            made.kind = ClipKind::color;
        } else if (shape < 999) {
            content = QStringLiteral("/home/ada/%1/%2_%3.pdf").arg(word(), word()).arg(serial);
        } else {
            // A few large texts: logs and documents of tens to hundreds of kilobytes.
            content = paragraph(between(300, 2500));
        }
        if (made.kind != ClipKind::link) {
            made.text = content.toUtf8();
            made.title = content.section(QLatin1Char('\n'), 0, 0).left(200);
            const QString rest = content.section(QLatin1Char('\n'), 1).trimmed();
            if (!rest.isEmpty())
                made.subtitle = rest.left(400);
        }
        made.byteCount = made.text->size();
        const SourceApplication &source = applications[below(std::size(applications))];
        made.sourceBundleID = QString::fromLatin1(source.bundleID);
        made.sourceAppName = QString::fromLatin1(source.name);
        return made;
    }

private:
    std::mt19937 m_random;
};

} // namespace

const std::vector<QString> &HistoryGenerator::vocabulary()
{
    static const std::vector<QString> words = [] {
        std::vector<QString> made;
        for (const char *word : commonWords)
            made.push_back(QString::fromUtf8(word));
        return made;
    }();
    return words;
}

namespace {

// The copying itself, shared by both ways of storing: store(candidate, filed) records one copy
// and files the new item on the pinboard `filed` when there is one.
template <typename Store>
HistoryGenerator::Result copyHistory(ClipStore &store, int count, unsigned seed, Store &&record)
{
    Maker maker(seed);
    HistoryGenerator::Result result;
    for (const char *name : { "Work", "Snippets", "Links" })
        result.pinboardIDs.push_back(store.createPinboard(QString::fromLatin1(name)).id);

    // Months of copying, one copy every few seconds to a few minutes.
    Timestamp when = fromMillis(1'735'689'600'000);
    std::vector<ClipCandidate> recorded;
    recorded.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        when += std::chrono::milliseconds(1000 + maker.below(240'000));
        // About one copy in twenty-five is something copied before.
        const bool repeat = !recorded.empty() && maker.below(25) == 0;
        ClipCandidate candidate
            = repeat ? recorded[maker.below(std::uint32_t(recorded.size()))] : maker.candidate(i);
        candidate.capturedAt = when;
        std::optional<std::int64_t> filed;
        if (!repeat) {
            recorded.push_back(candidate);
            // One item in a hundred is filed, most of them on the first pinboard.
            if (maker.below(100) == 0)
                filed = result.pinboardIDs[std::min(maker.below(3), maker.below(3))];
        }
        record(candidate, filed);
    }
    result.itemCount = std::int64_t(recorded.size());
    return result;
}

} // namespace

HistoryGenerator::Result HistoryGenerator::fill(ClipStore &store, int count, unsigned seed)
{
    return copyHistory(
        store, count, seed, [&](const ClipCandidate &candidate, std::optional<std::int64_t> filed) {
            const std::optional<ClipItem> item
                = store.record(candidate, 0, 0, ClipStore::payloadCapBytes);
            if (item && filed)
                store.addItem(*filed, item->id);
        });
}

HistoryGenerator::Result HistoryGenerator::fillInBatches(
    const QString &directory, int count, unsigned seed)
{
    ClipStore store(directory);
    SQLiteDatabase database(directory + QStringLiteral("/history.sqlite"));
    using Value = SQLiteDatabase::Value;
    const auto textOrNull = [](const std::optional<QString> &text) -> Value {
        return text ? Value(*text) : Value(std::monostate());
    };
    constexpr int batch = 5000;
    int pending = 0;
    // Begun with the first copy: the pinboards are made through the store before that.
    HistoryGenerator::Result result = copyHistory(
        store, count, seed, [&](const ClipCandidate &candidate, std::optional<std::int64_t> filed) {
            if (pending == 0)
                database.query(QStringLiteral("BEGIN IMMEDIATE"));
            // The statements record runs, with the same values.
            const QString print
                = fingerprintOfUtf8(candidate.kind, candidate.text, candidate.payload);
            const std::int64_t capturedAt = toMillis(candidate.capturedAt);
            const auto existing = database.query(
                QStringLiteral("SELECT id FROM items WHERE fingerprint = ?"), { print });
            if (!existing.empty()) {
                database.query(
                    QStringLiteral(
                        "UPDATE items SET created_at = ?, last_used_at = ? WHERE id = ?"),
                    { capturedAt, capturedAt,
                        *integerValue(existing.front(), QStringLiteral("id")) });
            } else {
                database.query(QStringLiteral("INSERT INTO items (kind, text, title, subtitle, "
                                              "blob_name, file_bookmark, byte_count,\n"
                                              "                   source_bundle_id, "
                                              "source_app_name, created_at, last_used_at, "
                                              "fingerprint)\nVALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                              "?, ?, ?)"),
                    { storedString(candidate.kind), rows::utf8TextOrNull(candidate.text),
                        candidate.title, textOrNull(candidate.subtitle), std::monostate(),
                        std::monostate(), candidate.byteCount, textOrNull(candidate.sourceBundleID),
                        textOrNull(candidate.sourceAppName), capturedAt, capturedAt, print });
                if (filed) {
                    // As addItem files it: first on the pinboard.
                    database.query(
                        QStringLiteral("INSERT INTO pinboard_items (pinboard_id, item_id, "
                                       "sort_order, added_at) VALUES (?, ?, (SELECT "
                                       "COALESCE(MIN(sort_order) - 1, 0) FROM pinboard_items "
                                       "WHERE pinboard_id = ?), ?)"),
                        { *filed, database.lastInsertRowId(), *filed, capturedAt });
                }
            }
            if (++pending == batch) {
                database.query(QStringLiteral("COMMIT"));
                pending = 0;
            }
        });
    if (pending > 0)
        database.query(QStringLiteral("COMMIT"));
    return result;
}

QString HistoryGenerator::cachedStore(int count)
{
    const QString folder = QDir::temp().filePath(QStringLiteral("corvane-bench/history-%1-g%2-s%3")
                                                     .arg(count)
                                                     .arg(generatorVersion)
                                                     .arg(currentSchemaVersion));
    const QString complete = folder + QStringLiteral("/complete");
    if (QFile::exists(complete))
        return folder;
    QDir(folder).removeRecursively();
    fillInBatches(folder, count);
    // Without the mark the next run generates it again, which costs time, not correctness.
    QFile marker(complete);
    if (!marker.open(QIODevice::WriteOnly))
        qWarning("Could not mark the generated history as complete: %s",
            qUtf8Printable(marker.errorString()));
    return folder;
}

} // namespace corvane
