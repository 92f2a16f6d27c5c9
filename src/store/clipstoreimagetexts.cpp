// The text recognised in image items: which images are still to be read, and their texts.
#include "clipstore.h"
#include "store/clipkind.h"
#include "store/rowreading.h"

#include <QDir>

namespace corvane {

std::vector<ClipStore::UnreadImage> ClipStore::unreadImages(std::int64_t limit)
{
    return perform([&](SQLiteDatabase &database) {
        const auto found
            = database.query(QStringLiteral("SELECT id, blob_name FROM items\n"
                                            "WHERE kind = ? AND blob_name IS NOT NULL\n"
                                            "  AND id NOT IN (SELECT item_id FROM image_texts)\n"
                                            "ORDER BY created_at DESC, id DESC LIMIT ?"),
                { storedString(ClipKind::image), limit });
        std::vector<UnreadImage> images;
        images.reserve(found.size());
        for (const SQLiteDatabase::Row &row : found) {
            const std::int64_t *id = integerValue(row, QStringLiteral("id"));
            const QString *name = textValue(row, QStringLiteral("blob_name"));
            if (id && name)
                images.push_back({ *id, QDir(m_blobDirectory).filePath(*name) });
        }
        return images;
    });
}

bool ClipStore::setRecognizedText(std::int64_t id, const QString &text)
{
    return perform([&](SQLiteDatabase &database) {
        // Only while the image is still there: the reader works on a copy of its path while
        // the item may be deleted or pruned.
        const bool stored
            = !database
                   .query(QStringLiteral("INSERT OR REPLACE INTO image_texts (item_id, text)\n"
                                         "SELECT id, ? FROM items WHERE id = ? AND kind = ?\n"
                                         "RETURNING item_id"),
                       { text, id, storedString(ClipKind::image) })
                   .empty();
        if (stored)
            advanceGeneration();
        return stored;
    });
}

std::optional<QString> ClipStore::recognizedText(std::int64_t id)
{
    return perform([&](SQLiteDatabase &database) -> std::optional<QString> {
        const auto found = database.query(
            QStringLiteral("SELECT text FROM image_texts WHERE item_id = ? AND text <> ''"),
            { id });
        if (found.empty())
            return std::nullopt;
        const QString *text = textValue(found.front(), QStringLiteral("text"));
        return text ? std::optional<QString>(*text) : std::nullopt;
    });
}

void ClipStore::clearRecognizedTexts()
{
    perform([&](SQLiteDatabase &database) {
        database.query(QStringLiteral("DELETE FROM image_texts"));
        advanceGeneration();
    });
}

} // namespace corvane
