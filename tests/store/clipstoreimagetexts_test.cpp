// The words read in images: kept beside their items, found by searches like the items' own
// words, and gone with their items however those are deleted.
#include "storetestsupport.h"

namespace corvane {
namespace {

class ImageTextTest : public test::StoreTest
{
protected:
    std::int64_t recordImage(const QByteArray &bytes, int minute)
    {
        return store().record(image(bytes, minute), 0, 0, ClipStore::payloadCapBytes).value().id;
    }

    std::vector<std::int64_t> found(const QString &search, ClipStore::Filter filter = {})
    {
        filter.search = search;
        filter.limit = 50;
        std::vector<std::int64_t> ids;
        for (const ClipItem &item : store().items(filter))
            ids.push_back(item.id);
        return ids;
    }

    std::int64_t textRows()
    {
        return std::get<std::int64_t>(
            openDirectly()
                ->query(QStringLiteral("SELECT COUNT(*) AS c FROM image_texts"))
                .front()
                .values.value(QStringLiteral("c")));
    }
};

TEST_F(ImageTextTest, ImagesAreReadNewestFirstAndOnlyOnce)
{
    const std::int64_t older = recordImage("older", 1);
    const std::int64_t newer = recordImage("newer", 2);
    store().record(text(QStringLiteral("not an image"), 3), 0, 0, ClipStore::payloadCapBytes);

    const auto unread = store().unreadImages(10);
    ASSERT_EQ(unread.size(), 2u);
    EXPECT_EQ(unread[0].id, newer);
    EXPECT_EQ(unread[1].id, older);
    EXPECT_TRUE(QFileInfo::exists(unread[0].blobPath));

    // An image read and found to hold no words is not read again, and has no text.
    EXPECT_TRUE(store().setRecognizedText(newer, QString()));
    EXPECT_EQ(store().unreadImages(10).size(), 1u);
    EXPECT_EQ(store().recognizedText(newer), std::nullopt);
}

TEST_F(ImageTextTest, TextIsRefusedForItemsThatAreGoneOrAreNoImages)
{
    const std::int64_t note
        = store().record(text(QStringLiteral("words"), 1), 0, 0, ClipStore::payloadCapBytes)->id;
    EXPECT_FALSE(store().setRecognizedText(note, QStringLiteral("stray")));
    EXPECT_FALSE(store().setRecognizedText(note + 100, QStringLiteral("stray")));
    EXPECT_EQ(textRows(), 0);
}

TEST_F(ImageTextTest, SearchesFindImagesByTheirWordsInTheHistoryOrder)
{
    const std::int64_t screenshot = recordImage("screenshot", 1);
    const std::int64_t note
        = store()
              .record(text(QStringLiteral("stack of plates"), 2), 0, 0, ClipStore::payloadCapBytes)
              ->id;
    const std::int64_t receipt = recordImage("receipt", 3);
    ASSERT_TRUE(store().setRecognizedText(
        screenshot, QStringLiteral("Traceback: stack trace\nValueError in main.py")));
    ASSERT_TRUE(store().setRecognizedText(receipt, QStringLiteral("TOTAL 12.40 EUR")));

    EXPECT_EQ(found(QStringLiteral("stack")), (std::vector<std::int64_t> { note, screenshot }));
    EXPECT_EQ(found(QStringLiteral("valueerr")), std::vector<std::int64_t> { screenshot });
    // Inside a word, through the substring fallback.
    EXPECT_EQ(found(QStringLiteral("aceba")), std::vector<std::int64_t> { screenshot });
    EXPECT_EQ(found(QStringLiteral("2.4")), std::vector<std::int64_t> { receipt });
    // The kind filter applies as it does to the items' own words.
    ClipStore::Filter onlyTexts;
    onlyTexts.kinds = { ClipKind::text };
    EXPECT_EQ(found(QStringLiteral("stack"), onlyTexts), std::vector<std::int64_t> { note });
    // A pinboard's search sees only its own images.
    const Pinboard board = store().createPinboard(QStringLiteral("Receipts"));
    store().addItem(board.id, receipt);
    ClipStore::Filter onBoard;
    onBoard.pinboardID = board.id;
    EXPECT_EQ(found(QStringLiteral("total"), onBoard), std::vector<std::int64_t> { receipt });
    EXPECT_TRUE(found(QStringLiteral("stack"), onBoard).empty());

    // An image found through its words carries them; one found otherwise does not.
    ClipStore::Filter filter;
    filter.search = QStringLiteral("trace");
    filter.limit = 5;
    const auto items = store().items(filter);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items.front().recognizedText,
        std::optional<QString>(QStringLiteral("Traceback: stack trace\nValueError in main.py")));
    filter.search = QStringLiteral("plates");
    EXPECT_EQ(store().items(filter).front().recognizedText, std::nullopt);
}

TEST_F(ImageTextTest, TextsGoWithTheirItemsHoweverTheyAreDeleted)
{
    std::vector<std::int64_t> images;
    for (int minute = 0; minute < 5; ++minute) {
        images.push_back(recordImage(QByteArray::number(minute), minute));
        ASSERT_TRUE(store().setRecognizedText(images.back(), QStringLiteral("invoice")));
    }
    store().deleteItems({ images[0] });
    EXPECT_EQ(textRows(), 4);
    // Pruning to the newest three.
    store().prune(3, 0);
    EXPECT_EQ(textRows(), 3);
    // A version of the application that knows nothing of these texts deletes rows itself.
    openDirectly()->query(QStringLiteral("DELETE FROM items WHERE id = ?"), { images[4] });
    EXPECT_EQ(textRows(), 2);
    EXPECT_EQ(found(QStringLiteral("invoice")).size(), 2u);
    store().clearHistory();
    EXPECT_EQ(textRows(), 0);
    EXPECT_TRUE(found(QStringLiteral("invoice")).empty());
}

TEST_F(ImageTextTest, ClearingForgetsEveryTextAndTheImagesAreReadAgain)
{
    const std::int64_t id = recordImage("slide", 1);
    ASSERT_TRUE(store().setRecognizedText(id, QStringLiteral("quarterly results")));
    const std::int64_t generation = store().generation();
    store().clearRecognizedTexts();
    EXPECT_GT(store().generation(), generation);
    EXPECT_EQ(textRows(), 0);
    EXPECT_TRUE(found(QStringLiteral("quarterly")).empty());
    EXPECT_EQ(store().unreadImages(5).size(), 1u);
}

} // namespace
} // namespace corvane
