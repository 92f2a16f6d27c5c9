#include "store/clipitem.h"
#include "store/pinboard.h"
#include "store/scopedfile.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using Row = SQLiteDatabase::Row;
using Value = SQLiteDatabase::Value;

Row row(std::initializer_list<std::pair<const char *, Value>> values)
{
    Row result;
    for (const auto &[name, value] : values)
        result.values.insert(QString::fromLatin1(name), value);
    return result;
}

TEST(ClipKind, StoredStringsRoundTripAndUnknownWordsAreText)
{
    for (ClipKind kind : allClipKinds)
        EXPECT_EQ(clipKindFromStoredString(storedString(kind)), kind);
    EXPECT_EQ(storedString(ClipKind::color), QStringLiteral("color"));
    EXPECT_EQ(label(ClipKind::color), QStringLiteral("Color"));
    for (const char *word : { "", "Text", "LINK", "colour", "images" })
        EXPECT_EQ(clipKindFromStoredString(QString::fromLatin1(word)), ClipKind::text) << word;
    EXPECT_FALSE(isEditable(ClipKind::image));
    EXPECT_FALSE(isEditable(ClipKind::file));
    EXPECT_TRUE(isEditable(ClipKind::color));
}

TEST(ClipItem, ReadsEveryColumnOfAFullRow)
{
    const ClipItem item = ClipItem::fromRow(row({
        { "id", std::int64_t(7) },
        { "kind", QStringLiteral("image") },
        { "text", std::monostate() },
        { "title", QStringLiteral("Image 2 × 3") },
        { "subtitle", QStringLiteral("PNG") },
        { "blob_name", QStringLiteral("abc.data") },
        { "file_bookmark", QByteArray() },
        { "byte_count", std::int64_t(1234) },
        { "source_bundle_id", QStringLiteral("org.gimp.GIMP") },
        { "source_app_name", QStringLiteral("GIMP") },
        { "created_at", std::int64_t(1700000000123) },
        { "last_used_at", std::int64_t(-5) },
        { "fingerprint", QStringLiteral("ff") },
        { "trigger", QStringLiteral("sig") },
    }));
    EXPECT_EQ(item.id, 7);
    EXPECT_EQ(item.kind, ClipKind::image);
    EXPECT_FALSE(item.text.has_value());
    EXPECT_EQ(item.title, QStringLiteral("Image 2 × 3"));
    EXPECT_EQ(item.subtitle, QStringLiteral("PNG"));
    EXPECT_EQ(item.blobName, QStringLiteral("abc.data"));
    EXPECT_EQ(item.fileBookmark, QByteArray());
    EXPECT_EQ(item.byteCount, 1234);
    EXPECT_EQ(item.sourceBundleID, QStringLiteral("org.gimp.GIMP"));
    EXPECT_EQ(item.sourceAppName, QStringLiteral("GIMP"));
    EXPECT_EQ(toMillis(item.createdAt), 1700000000123);
    EXPECT_EQ(toMillis(item.lastUsedAt), -5);
    EXPECT_FALSE(item.isConcealed);
    EXPECT_EQ(item.fingerprint, QStringLiteral("ff"));
    EXPECT_EQ(item.trigger, QStringLiteral("sig"));
}

TEST(ClipItem, MissingOrMistypedColumnsGiveDefaults)
{
    const Row rows[] = {
        row({}),
        row({ { "id", QStringLiteral("7") }, { "kind", std::int64_t(1) },
            { "text", std::int64_t(3) }, { "title", std::monostate() },
            { "subtitle", QByteArray("x") }, { "file_bookmark", QStringLiteral("not bytes") },
            { "byte_count", 2.5 }, { "created_at", QStringLiteral("yesterday") },
            { "last_used_at", 1.0 }, { "fingerprint", std::monostate() },
            { "trigger", std::int64_t(0) } }),
    };
    for (const Row &r : rows) {
        const ClipItem item = ClipItem::fromRow(r);
        EXPECT_EQ(item, ClipItem());
        EXPECT_EQ(item.createdAt, distantPast);
        EXPECT_LT(item.lastUsedAt, fromMillis(std::numeric_limits<std::int64_t>::min() + 1));
    }
}

TEST(Pinboard, ReadsRowsWithDefaults)
{
    const Pinboard full
        = Pinboard::fromRow(row({ { "id", std::int64_t(3) }, { "name", QStringLiteral("Work") },
            { "color_index", std::int64_t(4) }, { "sort_order", std::int64_t(2) },
            { "created_at", std::int64_t(1000) }, { "item_count", std::int64_t(9) } }));
    EXPECT_EQ(full, (Pinboard { 3, QStringLiteral("Work"), 4, 2, fromMillis(1000), 9 }));
    EXPECT_EQ(Pinboard::fromRow(row({ { "name", std::int64_t(1) } })), Pinboard());

    EXPECT_EQ(SourceApp::fromRow(row({ { "bundle_id", QStringLiteral("a.b") },
                  { "name", QStringLiteral("B") }, { "item_count", std::int64_t(2) } })),
        (SourceApp { QStringLiteral("a.b"), QStringLiteral("B"), 2 }));
    EXPECT_EQ(SourceApp::fromRow(row({ { "item_count", QStringLiteral("2") } })), SourceApp());
}

TEST(Fingerprint, CoversKindTextAndPayloadOnly)
{
    const std::optional<QString> text = QStringLiteral("https://example.com");
    const QString asText = fingerprint(ClipKind::text, text, std::nullopt);
    // SHA-256 of "text" followed by the URL's bytes, computed with sha256sum.
    EXPECT_EQ(
        asText, QStringLiteral("3219121e47474f7e3bc33d1e37a9e51eef2d70ee42a6f43b3f0cf2a55d1578ce"));
    EXPECT_EQ(asText.size(), 64);
    EXPECT_EQ(asText, asText.toLower());
    EXPECT_NE(asText, fingerprint(ClipKind::link, text, std::nullopt));
    // Nothing separates the pieces: kind "text" + "abc" equals kind "text" + "" + "abc" bytes.
    EXPECT_EQ(fingerprint(ClipKind::text, QStringLiteral("ab"), QByteArray("c")),
        fingerprint(ClipKind::text, QStringLiteral("abc"), std::nullopt));
    EXPECT_EQ(fingerprint(ClipKind::text, std::nullopt, std::nullopt),
        QStringLiteral("982d9e3eb996f559e633f4d194def3761d909f5a3b647d1a851fead67c32c9d1"));
    const QByteArray png("\x89PNG\r\n\x1a\n", 8);
    EXPECT_NE(fingerprint(ClipKind::image, std::nullopt, png),
        fingerprint(ClipKind::image, std::nullopt, png + QByteArray(1, '\0')));
}

TEST(ClipItem, SummaryIsOneLineAndCutByCharacters)
{
    const QString longWord(60, QLatin1Char('x'));
    const struct
    {
        const char *name;
        QString title;
        std::optional<QString> subtitle;
        qsizetype limit;
        QString expected;
    } cases[] = {
        { "title and subtitle", QStringLiteral("Hello"), QStringLiteral("world"), 52,
            QStringLiteral("Hello — world") },
        { "long word", longWord, std::nullopt, 52,
            QString(52, QLatin1Char('x')) + QStringLiteral("…") },
        { "line breaks and tabs", QStringLiteral("  one\n\ttwo\r\n  three  "), std::nullopt, 52,
            QStringLiteral("one two three") },
        { "exactly the limit", QStringLiteral("abcde"), std::nullopt, 5, QStringLiteral("abcde") },
        { "cut before a space is trimmed", QStringLiteral("abcd efgh"), std::nullopt, 5,
            QStringLiteral("abcd…") },
        { "emoji count once",
            QStringLiteral("👨‍👩‍👧👨‍👩‍👧👨‍👩‍👧"), std::nullopt,
            2, QStringLiteral("👨‍👩‍👧👨‍👩‍👧…") },
        { "empty", QString(), std::nullopt, 52, QString() },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ClipItem item;
        item.title = c.title;
        item.subtitle = c.subtitle;
        EXPECT_EQ(item.summary(c.limit), c.expected);
    }
}

TEST(ScopedFile, OnlyFileItemsWithAPathGiveALocation)
{
    ClipItem item;
    item.kind = ClipKind::file;
    item.text = QStringLiteral("/home/someone/report one.pdf");
    item.fileBookmark = QByteArray("stale bookmark");
    const auto file = ScopedFile::fromItem(item);
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->url().toLocalFile(), *item.text);
    EXPECT_FALSE(file->holdsScope());

    item.text.reset();
    EXPECT_FALSE(ScopedFile::fromItem(item).has_value());
    item.text = QStringLiteral("/tmp/x");
    item.kind = ClipKind::text;
    EXPECT_FALSE(ScopedFile::fromItem(item).has_value());
}

} // namespace
} // namespace corvane
