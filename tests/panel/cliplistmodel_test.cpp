#include "panel/cliplistmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace corvane {
namespace {

std::vector<ClipItem> itemsWithIDs(std::initializer_list<std::int64_t> ids)
{
    std::vector<ClipItem> items;
    for (const std::int64_t id : ids) {
        ClipItem item;
        item.id = id;
        item.title = QStringLiteral("item %1").arg(id);
        items.push_back(item);
    }
    return items;
}

// Every change of rows reaches the view as removals and insertions the model tester accepts,
// never as a reset, ending with the new rows in order and every card numbered by its row.
TEST(ClipListModelTest, NewRowsArriveAsRemovalsAndInsertionsWithCardsRenumbered)
{
    struct Case
    {
        std::initializer_list<std::int64_t> from;
        std::initializer_list<std::int64_t> to;
    };
    const Case cases[] = {
        { {}, { 1, 2 } },
        { { 1, 2, 3 }, {} },
        { { 1, 2, 3 }, { 2, 3 } },
        { { 1, 2, 3 }, { 0, 1, 2, 3 } },
        { { 1, 2, 3, 4, 5 }, { 1, 3, 5 } },
        { { 1, 3, 5 }, { 1, 2, 3, 4, 5, 6 } },
        { { 1, 2, 3 }, { 3, 2, 1 } },
        { { 1, 2, 3, 4 }, { 4, 1, 5 } },
        { { 1, 2 }, { 7, 8, 9 } },
    };
    for (const Case &step : cases) {
        ClipListModel model(nullptr);
        model.setItems(itemsWithIDs(step.from));
        QAbstractItemModelTester tester(
            &model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        const std::vector<ClipItem> target = itemsWithIDs(step.to);
        EXPECT_TRUE(model.setItems(target));
        EXPECT_EQ(model.items(), target);
        EXPECT_EQ(resets.count(), 0);
        for (int row = 0; row < model.rowCount(); ++row)
            EXPECT_EQ(model.index(row).data(ClipListModel::OrdinalRole).toInt(), row + 1);
    }
}

TEST(ClipListModelTest, TheSameRowsWithNewValuesChangeOnlyThoseRows)
{
    ClipListModel model(nullptr);
    std::vector<ClipItem> items = itemsWithIDs({ 1, 2, 3 });
    model.setItems(items);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy removals(&model, &QAbstractItemModel::rowsRemoved);
    EXPECT_FALSE(model.setItems(items));
    items[1].title = QStringLiteral("renamed");
    EXPECT_TRUE(model.setItems(items));
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.front().at(0).value<QModelIndex>().row(), 1);
    EXPECT_EQ(removals.count(), 0);
    EXPECT_EQ(model.index(1).data(ClipListModel::TitleRole).toString(), QStringLiteral("renamed"));
}

// An accented letter written as a letter and a combining accent is one character. Long texts
// are counted on a worker: the card learns the count when it is ready, and an edited text
// (a new fingerprint) is counted again.
TEST(ClipListModelTest, TextsAreCountedByCharacterAndLongOnesInTheBackground)
{
    const auto text = [](std::int64_t id, int repeats, const QString &fingerprint) {
        ClipItem item;
        item.id = id;
        item.kind = ClipKind::text;
        item.text = QStringLiteral("e\u0301").repeated(repeats);
        item.title = QStringLiteral("text");
        item.fingerprint = fingerprint;
        return item;
    };
    const int longRepeats = int(ClipListModel::longTextCharacters);
    ClipListModel model(nullptr);
    ClipItem image;
    image.id = 3;
    image.kind = ClipKind::image;
    model.setItems(
        { text(1, 10, QStringLiteral("short")), text(2, longRepeats, QStringLiteral("a")), image });
    const auto count
        = [&](int row) { return model.index(row).data(ClipListModel::CharacterCountRole); };
    EXPECT_EQ(count(0), QVariant(10));
    EXPECT_FALSE(count(2).isValid());

    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    EXPECT_FALSE(count(1).isValid());
    ASSERT_TRUE(changes.wait(10000));
    EXPECT_EQ(changes.front().at(0).value<QModelIndex>().row(), 1);
    EXPECT_EQ(count(1), QVariant(longRepeats));

    model.setItems({ text(1, 10, QStringLiteral("short")),
        text(2, longRepeats + 1, QStringLiteral("b")), image });
    EXPECT_FALSE(count(1).isValid());
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(1).isValid(); }, 10000));
    EXPECT_EQ(count(1), QVariant(longRepeats + 1));
}

} // namespace
} // namespace corvane
