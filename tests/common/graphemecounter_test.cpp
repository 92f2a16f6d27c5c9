#include "common/graphemecounter.h"
#include "common/graphemes.h"

#include <QString>

#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace corvane {
namespace {

// The count of utf8 handed over in pieces of the given sizes, in turn and repeated.
qsizetype countInPieces(const QByteArray &utf8, const std::vector<qsizetype> &pieceSizes)
{
    GraphemeCounter counter;
    qsizetype offset = 0;
    for (std::size_t turn = 0; offset < utf8.size(); ++turn) {
        const qsizetype size = pieceSizes[turn % pieceSizes.size()];
        counter.add(QByteArrayView(utf8).sliced(offset, std::min(size, utf8.size() - offset)));
        offset += size;
    }
    return counter.finish();
}

qsizetype countWhole(const QByteArray &utf8)
{
    return graphemeCount(QString::fromUtf8(utf8));
}

// Pieces that join with their neighbours in every way the segmentation rules know, and
// malformed UTF-8, which must be counted as decoding the whole text counts it.
const std::vector<QByteArray> &joiningPieces()
{
    static const std::vector<QByteArray> pieces = {
        "a",
        "Z",
        " ",
        "\r",
        "\n",
        "\r\n",
        "\t",
        "\x01",
        QStringLiteral("e\u0301").toUtf8(),
        QStringLiteral("\u0301\u0302\u0303").toUtf8(),
        QStringLiteral("\u200d").toUtf8(),
        QStringLiteral("👨‍👩‍👧").toUtf8(),
        QStringLiteral("🇫").toUtf8(),
        QStringLiteral("🇷").toUtf8(),
        QStringLiteral("👍🏿").toUtf8(),
        QStringLiteral("\u00a9\ufe0f").toUtf8(),
        QStringLiteral("\u1100\u1161\u11a8").toUtf8(),
        QStringLiteral("\uac00").toUtf8(),
        QStringLiteral("क्ष").toUtf8(),
        QStringLiteral("\u0903").toUtf8(),
        QStringLiteral("\u0600").toUtf8(),
        QStringLiteral("日本").toUtf8(),
        QStringLiteral("é").toUtf8(),
        "\xe2\x82",
        "\xff",
        "\xc0\x80",
        "\xed\xa0\x80",
        "\xf0\x9f\x98",
    };
    return pieces;
}

TEST(GraphemeCounter, CountsWhatTheWholeTextCountsHoweverItIsCut)
{
    struct Case
    {
        const char *name;
        QByteArray text;
        std::vector<qsizetype> pieceSizes;
    };
    // Multi-byte letters under combining marks, so pieces end inside characters and clusters.
    const QByteArray marked
        = QStringLiteral("é\u0301\u0302日🇫🇷👨‍👩‍👧x").toUtf8().repeated(20000);
    const QByteArray oneCluster
        = (QStringLiteral("e") + QStringLiteral("\u0301").repeated(10000)).toUtf8();
    const QByteArray flags = QStringLiteral("🇫").toUtf8().repeated(2001);
    const Case cases[] = {
        { "empty", QByteArray(), { 1 } },
        { "ascii in one piece", "hello world", { 64 } },
        { "crlf cut between its two", "a\r\nb\r\n", { 2, 1 } },
        { "marked text, pieces of one byte", marked.first(3000), { 1 } },
        { "marked text, pieces of odd sizes", marked, { 4097, 3, 65536, 5 } },
        { "marked text, pieces of 4 MiB", marked.repeated(14), { 4 * 1024 * 1024 } },
        { "one letter under 10,000 marks", oneCluster, { 7 } },
        { "an odd run of regional indicators", flags, { 5, 9 } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(countInPieces(c.text, c.pieceSizes), countWhole(c.text));
    }
    EXPECT_EQ(countInPieces(oneCluster, { 7 }), 1);
    // As the stored text's readers do, counting ends at the first NUL.
    EXPECT_EQ(countInPieces(QByteArray("ab\0cd", 5) + "ef", { 3 }), 2);
}

// Random texts of pieces that join in every way, cut at random: a cut the counter takes for
// the end of a cluster where the rules join would show as a different count.
TEST(GraphemeCounter, CountsRandomJoiningTextsCutAtRandomAsAWhole)
{
    std::mt19937 random(20261207);
    const std::vector<QByteArray> &pieces = joiningPieces();
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<qsizetype> cut(1, 23);
    for (int round = 0; round < 400; ++round) {
        QByteArray text;
        for (int i = 0; i < 60; ++i)
            text += pieces[pick(random)];
        std::vector<qsizetype> sizes;
        for (int i = 0; i < 8; ++i)
            sizes.push_back(cut(random));
        ASSERT_EQ(countInPieces(text, sizes), countWhole(text)) << text.toHex().constData();
    }
}

} // namespace
} // namespace corvane
