#pragma once

#include "candidates.h"
#include "store/clipstore.h"
#include "testsupport.h"

#include <QDir>
#include <QStringList>

#include <memory>
#include <ostream>

namespace corvane {
// Failures name the store error by its case and payload.
inline void PrintTo(const ClipStoreError &error, std::ostream *out)
{
    *out << error.diagnostic().toStdString();
}
} // namespace corvane

namespace corvane::test {

// A store in a temporary folder, with helpers to build candidates and look at its files.
class StoreTest : public TemporaryFolderTest
{
protected:
    void SetUp() override
    {
        TemporaryFolderTest::SetUp();
        m_store = std::make_unique<ClipStore>(storeDir());
    }

    QString storeDir() const { return path(QStringLiteral("Corvane")); }
    ClipStore &store() { return *m_store; }

    // A second, independent connection to the same file, as another process would have.
    std::unique_ptr<SQLiteDatabase> openDirectly() const
    {
        return std::make_unique<SQLiteDatabase>(storeDir() + QStringLiteral("/history.sqlite"));
    }

    // Candidates captured `minute` minutes after a fixed time.
    static ClipCandidate text(const QString &content, int minute = 0)
    {
        return textCandidate(content, at(minute));
    }
    static ClipCandidate image(const QByteArray &png, int minute = 0)
    {
        return imageCandidate(png, at(minute));
    }

    // A point in time a number of minutes after a fixed, recent moment.
    static Timestamp at(int minute)
    {
        return fromMillis(std::int64_t(1'700'000'000'000) + std::int64_t(minute) * 60'000);
    }

    // Records a candidate that must be stored and returns its id.
    std::int64_t add(const ClipCandidate &candidate)
    {
        const std::optional<ClipItem> stored
            = store().record(candidate, 0, 0, ClipStore::payloadCapBytes);
        EXPECT_TRUE(stored.has_value());
        return stored ? stored->id : 0;
    }

    QStringList blobFiles() const
    {
        return QDir(m_store->blobDirectory())
            .entryList(
                QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

    std::vector<QString> titles(const ClipStore::Filter &filter)
    {
        std::vector<QString> result;
        for (const ClipItem &item : store().items(filter))
            result.push_back(item.title);
        return result;
    }

    std::unique_ptr<ClipStore> m_store;
};

} // namespace corvane::test
