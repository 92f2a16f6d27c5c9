#include "panel/dragitemprovider.h"
#include "paneltestsupport.h"
#include "platform/pasteboardtypes.h"

#include <QDir>
#include <QFile>
#include <QUrl>

using namespace std::chrono_literals;

namespace corvane::test {
namespace {

class PasterTest : public PanelTest
{
protected:
    ClipItem addKind(ClipKind kind, const QString &text, int second,
        const std::optional<QByteArray> &payload = {})
    {
        ClipCandidate candidate;
        candidate.kind = kind;
        candidate.text = text.isNull() ? std::nullopt : std::optional(text.toUtf8());
        candidate.title = text.isEmpty() ? QStringLiteral("Image") : text;
        candidate.payload = payload;
        candidate.byteCount = payload ? payload->size() : text.toUtf8().size();
        return addItem(candidate, second);
    }
    Timestamp lastUsed(const ClipItem &item) { return store->item(item.id)->lastUsedAt; }
};

TEST_F(PasterTest, EachKindIsWrittenWithItsOwnTypesAndNothingAtAllForNoItems)
{
    EXPECT_FALSE(paster->copy({}, false));
    paster->paste({}, std::nullopt, false);
    scheduler.advance(1s);
    EXPECT_EQ(pasteboard.changeCount(), 0);
    EXPECT_TRUE(keystrokes.posted.empty());

    const QByteArray png("\x89PNG\r\n\x1a\nfake", 12);
    const ClipItem link = addKind(ClipKind::link, QStringLiteral("https://example.com/"), 1);
    const ClipItem color = addKind(ClipKind::color, QStringLiteral("#ff8800"), 2);
    const ClipItem image = addKind(ClipKind::image, QString(), 3, png);

    ASSERT_TRUE(paster->copy({ link }, false));
    EXPECT_EQ(
        clipboardTypes(), (QStringList { pasteboardtype::plainText(), pasteboardtype::uriList() }));
    EXPECT_EQ(clipboardData(pasteboardtype::uriList()), QByteArray("https://example.com/\r\n"));
    EXPECT_NE(lastUsed(link), link.lastUsedAt);

    ASSERT_TRUE(paster->copy({ link }, true));
    EXPECT_EQ(clipboardTypes(), QStringList { pasteboardtype::plainText() });

    ASSERT_TRUE(paster->copy({ color }, false));
    EXPECT_EQ(clipboardTypes(), QStringList { pasteboardtype::plainText() });
    EXPECT_EQ(clipboardData(pasteboardtype::plainText()), QByteArray("#ff8800"));

    ASSERT_TRUE(paster->copy({ image }, false));
    EXPECT_EQ(clipboardTypes(), QStringList { pasteboardtype::png() });
    EXPECT_EQ(clipboardData(pasteboardtype::png()), png);

    // A missing blob clears the clipboard and reports failure.
    QFile::remove(QDir(store->blobDirectory()).filePath(*image.blobName));
    EXPECT_FALSE(paster->copy({ image }, false));
    EXPECT_TRUE(pasteboard.contents().isEmpty());
}

// A recording or a list hands out a long text by its start; the clipboard gets it whole (as
// it is now when edited meanwhile), and an item deleted meanwhile leaves the clipboard empty.
TEST_F(PasterTest, ALongTextHandedOutByItsStartIsWrittenWhole)
{
    const QString longText = QStringLiteral("long ").repeated(ClipStore::recordedTextByteLimit);
    const ClipItem listed = addKind(ClipKind::text, longText, 1);
    ASSERT_TRUE(listed.isTextPartial);
    ASSERT_TRUE(paster->writeItem(listed));
    EXPECT_EQ(clipboardData(pasteboardtype::plainText()), longText.toUtf8());
    ASSERT_TRUE(paster->copy({ listed }, false));
    EXPECT_EQ(clipboardData(pasteboardtype::plainText()), longText.toUtf8());

    // Edited since it was listed: the text it holds now.
    store->updateText(listed.id, longText + QStringLiteral("edited"));
    ASSERT_TRUE(paster->writeItem(listed));
    EXPECT_EQ(
        clipboardData(pasteboardtype::plainText()), (longText + QStringLiteral("edited")).toUtf8());

    store->deleteItems({ listed.id });
    EXPECT_FALSE(paster->writeItem(listed));
    EXPECT_TRUE(pasteboard.contents().isEmpty());
}

TEST_F(PasterTest, SeveralItemsAreJoinedAsTextAndAllMarkedUsed)
{
    const QByteArray png("\x89PNG\r\n\x1a\none", 11);
    const QByteArray otherPng("\x89PNG\r\n\x1a\ntwo", 11);
    const ClipItem first = addKind(ClipKind::text, QStringLiteral("first"), 1);
    const ClipItem second = addKind(ClipKind::link, QStringLiteral("https://example.com/"), 2);
    const ClipItem image = addKind(ClipKind::image, QString(), 3, png);
    const ClipItem otherImage = addKind(ClipKind::image, QString(), 4, otherPng);

    ASSERT_TRUE(paster->copy({ first, second }, false));
    EXPECT_EQ(clipboardTypes(), QStringList { pasteboardtype::plainText() });
    EXPECT_EQ(
        clipboardData(pasteboardtype::plainText()), QByteArray("first\nhttps://example.com/"));

    ASSERT_TRUE(paster->copy({ first, image }, false));
    EXPECT_EQ(clipboardData(pasteboardtype::plainText()), QByteArray("first"));
    EXPECT_NE(lastUsed(image), image.lastUsedAt);

    // No texts at all: the first image alone.
    ASSERT_TRUE(paster->copy({ otherImage, image }, false));
    EXPECT_EQ(clipboardTypes(), QStringList { pasteboardtype::png() });
    EXPECT_EQ(clipboardData(pasteboardtype::png()), otherPng);
}

TEST_F(PasterTest, AFileThatIsGoneFallsBackToItsPathWithoutBeingMarkedUsed)
{
    const QString filePath = writeFile(path(QStringLiteral("report.pdf")), "%PDF");
    const ClipItem item = addKind(ClipKind::file, filePath, 1);

    ASSERT_TRUE(paster->copy({ item }, false));
    EXPECT_EQ(clipboardData(pasteboardtype::uriList()),
        QUrl::fromLocalFile(filePath).toEncoded() + "\r\n");
    const Timestamp used = lastUsed(item);
    EXPECT_NE(used, item.lastUsedAt);

    ASSERT_TRUE(QFile::remove(filePath));
    ASSERT_TRUE(paster->copy({ item }, false));
    EXPECT_EQ(clipboardTypes(), QStringList { pasteboardtype::plainText() });
    EXPECT_EQ(clipboardData(pasteboardtype::plainText()), filePath.toUtf8());
    EXPECT_EQ(lastUsed(item), used);
}

TEST_F(PasterTest, PastingPostsTheShortcutAfterTheDelayOnlyWhenTrusted)
{
    const ClipItem item = addKind(ClipKind::text, QStringLiteral("hello"), 1);
    const RunningApplication terminal { QStringLiteral("org.gnome.Terminal"), {} };

    trusted = false;
    EXPECT_EQ(paster->paste({ item }, terminal, false), Paster::PasteResult::copiedOnly);
    scheduler.advance(1s);
    EXPECT_EQ(clipboardData(pasteboardtype::plainText()), QByteArray("hello"));
    EXPECT_TRUE(keystrokes.activated.empty());
    EXPECT_TRUE(keystrokes.posted.empty());

    trusted = true;
    EXPECT_EQ(paster->paste({ item }, terminal, false), Paster::PasteResult::pasting);
    EXPECT_EQ(keystrokes.activated, std::vector<RunningApplication> { terminal });
    scheduler.advance(119ms);
    EXPECT_TRUE(keystrokes.posted.empty());
    scheduler.advance(1ms);
    EXPECT_EQ(keystrokes.posted, std::vector<PasteShortcut> { PasteShortcut::controlShiftV });

    // No target: the keystroke still goes to whatever is in front, twice for two pastes.
    keystrokes.posted.clear();
    paster->paste({ item }, std::nullopt, false);
    scheduler.advance(50ms);
    paster->paste({ item }, std::nullopt, false);
    scheduler.advance(200ms);
    EXPECT_EQ(keystrokes.posted,
        (std::vector<PasteShortcut> { PasteShortcut::controlV, PasteShortcut::controlV }));
}

TEST(PasteShortcutTest, TerminalsAreRecognisedByIdentifierOrItsLastPart)
{
    const std::pair<const char *, PasteShortcut> cases[] = {
        { "org.gnome.Terminal", PasteShortcut::controlShiftV },
        { "org.kde.konsole", PasteShortcut::controlShiftV },
        { "kitty", PasteShortcut::controlShiftV },
        { "Alacritty", PasteShortcut::controlShiftV },
        { "org.mozilla.firefox", PasteShortcut::controlV },
        { "gedit", PasteShortcut::controlV },
    };
    for (const auto &[identifier, shortcut] : cases) {
        EXPECT_EQ(
            pasteShortcutFor(RunningApplication { QString::fromLatin1(identifier), {} }), shortcut)
            << identifier;
    }
    EXPECT_EQ(pasteShortcutFor(std::nullopt), PasteShortcut::controlV);
    EXPECT_EQ(pasteShortcutFor(RunningApplication {}), PasteShortcut::controlV);
}

TEST(DragItemProviderTest, TextDragsAreNamedByTheirTitle)
{
    const std::pair<QString, QString> cases[] = {
        { QStringLiteral("a/b:c\td"), QStringLiteral("a b c d.txt") },
        { QStringLiteral(" \t/:\n "), QStringLiteral("Clipping.txt") },
        { QString(50, QLatin1Char('x')), QString(40, QLatin1Char('x')) + QStringLiteral(".txt") },
        { QStringLiteral("Notes"), QStringLiteral("Notes.txt") },
    };
    for (const auto &[title, name] : cases)
        EXPECT_EQ(textDragFileName(title), name) << title.toStdString();
}

TEST_F(PasterTest, DragProvidersCarryEachKindsRepresentationsAndTheMarker)
{
    const ClipItem link = addKind(ClipKind::link, QStringLiteral("https://example.com/"), 1);
    auto provider = dragItemProvider(link, std::nullopt);
    ASSERT_TRUE(provider);
    EXPECT_EQ(
        provider->mimeData->urls(), QList<QUrl> { QUrl(QStringLiteral("https://example.com/")) });
    EXPECT_EQ(provider->mimeData->text(), QStringLiteral("https://example.com/"));
    EXPECT_EQ(provider->mimeData->data(itemMarkerType()),
        QByteArray::number(static_cast<qlonglong>(link.id)));

    const QByteArray png("\x89PNG\r\n\x1a\ndrag", 12);
    const ClipItem image = addKind(ClipKind::image, QString(), 2, png);
    EXPECT_FALSE(dragItemProvider(image, std::nullopt));
    provider = dragItemProvider(image, png);
    ASSERT_TRUE(provider);
    ASSERT_EQ(provider->mimeData->urls().size(), 1);
    const QString written = provider->mimeData->urls()[0].toLocalFile();
    EXPECT_TRUE(written.startsWith(dragFolder() + QLatin1Char('/')));
    EXPECT_TRUE(provider->suggestedName.startsWith(QStringLiteral("Clip ")));
    EXPECT_TRUE(provider->suggestedName.contains(QStringLiteral(" at ")));
    EXPECT_TRUE(written.endsWith(provider->suggestedName));
    EXPECT_EQ(fileContents(written), png);
    EXPECT_EQ(provider->mimeData->data(pasteboardtype::png()), png);
    clearDragFolder();
    EXPECT_FALSE(QFile::exists(written));

    const ClipItem empty = addKind(ClipKind::text, QString(), 3);
    EXPECT_FALSE(dragItemProvider(empty, std::nullopt));
    const ClipItem gone = addKind(ClipKind::file, path(QStringLiteral("missing.txt")), 4);
    EXPECT_FALSE(dragItemProvider(gone, std::nullopt));
}

} // namespace
} // namespace corvane::test
