#include "platform/fake/fakepasteboard.h"
#include "platform/pasteboardtypes.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace corvane {
namespace {

namespace type = pasteboardtype;

PasteboardImageDecoder markingDecoder()
{
    return [](const QByteArray &data, const QString &kind) -> std::optional<PasteboardImage> {
        return PasteboardImage { kind.toUtf8() + ':' + data, QSize(1, 1) };
    };
}

TEST(ReadPasteboard, FetchesOnlyWhatCaptureNeedsInCaptureOrder)
{
    const struct
    {
        const char *name;
        FakePasteboard::Contents contents;
        bool includesImages;
        QStringList fetched;
    } cases[] = {
        { "files stop the read",
            { { type::plainText(), "t" }, { type::uriList(), "file:///a" }, { type::png(), "p" } },
            true, { type::uriList() } },
        { "URL list without files falls through to text",
            { { type::uriList(), "https://a.example" }, { type::plainText(), "t" } }, true,
            { type::uriList(), type::plainText() } },
        { "UTF8_STRING is preferred", { { type::plainText(), "t" }, { type::utf8String(), "u" } },
            true, { type::utf8String() } },
        { "usable text skips images", { { type::plainText(), "t" }, { type::png(), "p" } }, true,
            { type::plainText() } },
        { "blank text reads the image", { { type::plainText(), " " }, { type::png(), "p" } }, true,
            { type::plainText(), type::png() } },
        { "images not wanted", { { type::png(), "p" } }, false, {} },
        { "TIFF only without PNG bytes", { { type::png(), "" }, { type::tiff(), "t" } }, true,
            { type::png(), type::tiff() } },
        { "marked copies fetch nothing", { { type::concealed(), "" }, { type::plainText(), "t" } },
            true, {} },
        { "hint that is not secret",
            { { type::passwordManagerHint(), "other" }, { type::plainText(), "t" } }, true,
            { type::passwordManagerHint(), type::plainText() } },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakePasteboard pasteboard(markingDecoder());
        pasteboard.copyFromOtherProcess(c.contents);
        pasteboard.snapshot(PasteboardReadOptions { c.includesImages });
        EXPECT_EQ(pasteboard.fetchedTypes(), c.fetched);
    }
}

TEST(ReadPasteboard, DropsPseudoTargetsAndDecodesEachTextType)
{
    FakePasteboard pasteboard(markingDecoder());
    pasteboard.copyFromOtherProcess(
        { { QStringLiteral("TARGETS"), {} }, { QStringLiteral("TIMESTAMP"), {} },
            { QStringLiteral("MULTIPLE"), {} }, { QStringLiteral("SAVE_TARGETS"), {} },
            { type::latin1String(), "caf\xe9" }, { type::png(), "p" } });
    auto snapshot = pasteboard.snapshot({});
    EXPECT_EQ(snapshot.types(), (QStringList { type::latin1String(), type::png() }));
    EXPECT_EQ(snapshot.string(), QStringLiteral("café"));
    EXPECT_FALSE(snapshot.image());

    // Invalid UTF-8 is no text; a trailing NUL is dropped.
    pasteboard.copyFromOtherProcess({ { type::utf8String(), "\xff\xfe" },
        { type::plainText(), QByteArray("ok\0", 3) }, { type::png(), "p" } });
    snapshot = pasteboard.snapshot({});
    EXPECT_EQ(snapshot.string(), QStringLiteral("ok"));

    // The text comes without the white space around it (wide spaces too); inner line breaks
    // stay. A byte order mark and a character cut off at the end are dropped.
    pasteboard.copyFromOtherProcess({ { type::utf8String(), "\n\t first\r\nsecond \n\n" } });
    EXPECT_EQ(pasteboard.snapshot({}).string(), QStringLiteral("first\r\nsecond"));
    pasteboard.copyFromOtherProcess({ { type::utf8String(),
        "\xEF\xBB\xBF\xE3\x80\x80\xC2\xA0"
        "caf\xC3\xA9\xE3\x80\x80\xE2\x82" } });
    EXPECT_EQ(pasteboard.snapshot({}).utf8Text(), QByteArray("caf\xC3\xA9"));

    pasteboard.copyFromOtherProcess({ { type::png(), "p" } });
    EXPECT_EQ(pasteboard.snapshot({}).image(), (PasteboardImage { "image/png:p", QSize(1, 1) }));
}

TEST(ReadPasteboard, ParsesFileListsKeepingOnlyLocalFiles)
{
    EXPECT_EQ(
        parseFileURLList("# comment\r\nfile:///a%20b\r\nhttps://x.example/\r\n\r\nfile:///c\r\n"),
        (QList<QUrl> { QUrl(QStringLiteral("file:///a%20b")), QUrl(QStringLiteral("file:///c")) }));
    EXPECT_EQ(parseFileURLList("cut\nfile:///x\nfile:///y", true),
        (QList<QUrl> { QUrl(QStringLiteral("file:///x")), QUrl(QStringLiteral("file:///y")) }));
    EXPECT_TRUE(parseFileURLList("file:///x", true).isEmpty());
    EXPECT_TRUE(parseFileURLList("not a url\nfile://\n").isEmpty());
}

} // namespace
} // namespace corvane
