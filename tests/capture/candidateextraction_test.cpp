#include "capture/candidateextraction.h"
#include "clipboardtesttools.h"
#include "common/bytecount.h"
#include "platform/fake/fakepasteboard.h"
#include "platform/pasteboardimage.h"
#include "platform/pasteboardtypes.h"
#include "testsupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

namespace corvane {
namespace {

namespace type = pasteboardtype;
using Contents = FakePasteboard::Contents;

QByteArray utf8(const char *text)
{
    return QByteArray(text);
}

TEST(RecognizeLink, AcceptsWebFtpAndMailLinksOnly)
{
    for (const char *link : { "https://example.com/path", "http://www.example.com",
             "HTTPS://EXAMPLE.COM/A", "ftp://files.example.com/a.zip", "mailto:someone@example.com",
             "https://example.com/my%20file%E2%9C%93", "https://user@example.com:8443/a?b=c#d" })
        EXPECT_TRUE(recognizeLink(QString::fromUtf8(link))) << link;
    for (const char *text : { "example.com", "www.example.com", "localhost:8080",
             "file:///etc/hosts", "javascript:alert(1)", "https://example.com/a b",
             " https://example.com", "https://example.com/\u00a0", "https://", "https:example.com",
             "https://example.com/100%", "" })
        EXPECT_FALSE(recognizeLink(QString::fromUtf8(text))) << text;
    EXPECT_EQ(recognizeLink(QStringLiteral("mailto:a@b.org"))->scheme(), QStringLiteral("mailto"));
}

TEST(RecognizeColor, AcceptsHashAndThreeSixOrEightHexDigitsAsTyped)
{
    const struct
    {
        const char *text;
        const char *color;
    } colors[] = {
        { "#abc", "#abc" },
        { "#ABCDEF", "#ABCDEF" },
        { "#aBcDeF12", "#aBcDeF12" },
        { "#0099ff", "#0099ff" },
        { "  #fff\n", "#fff" },
        { "#ｆｆ０", "#ｆｆ０" },
        { "#ＡＢＣ１２３", "#ＡＢＣ１２３" },
    };
    for (const auto &c : colors)
        EXPECT_EQ(recognizeColor(QString::fromUtf8(c.text)), QString::fromUtf8(c.color)) << c.text;
    for (const char *text : { "#abcd", "#12345", "#1234567", "#123456789", "#ggg", "#abz", "# fff",
             "##fff", "abc", "ffffff", "#", "" })
        EXPECT_FALSE(recognizeColor(QString::fromUtf8(text)).has_value()) << text;
}

TEST(LooksLikeSecret, RefusesOnlyLongMixedSingleTokensWhenEnabled)
{
    const QString token20 = QStringLiteral("Xk9#mP2$vL5qR8wZ1nB4");
    ASSERT_EQ(token20.size(), 20);
    const QString mixed200 = QString(token20).repeated(10);
    const struct
    {
        const char *name;
        QString text;
        bool enabled;
        bool secret;
    } cases[] = {
        { "20 mixed characters", token20, true, true },
        { "setting off", token20, false, false },
        { "19 characters", token20.left(19), true, false },
        { "space inside", token20.left(10) + QLatin1Char(' ') + token20.mid(10), true, false },
        { "lower case and digits only", QStringLiteral("abcdefghij0123456789"), true, false },
        { "three classes without punctuation", QStringLiteral("abcDEF123ghiJKL456mn"), true, true },
        { "200 characters", mixed200, true, true },
        { "201 characters", mixed200 + QLatin1Char('x'), true, false },
        { "surrounding white space is trimmed",
            QStringLiteral("  \n") + token20 + QStringLiteral("\t"), true, true },
        { "URL with a scheme", QStringLiteral("https://a.example/Xk9mP2vL5qR8"), true, false },
        { "emoji count as one character each", QStringLiteral("aB1😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀"), true, true },
        { "19 emoji-padded characters", QStringLiteral("aB1😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀"), true, false },
    };
    for (const auto &c : cases)
        EXPECT_EQ(looksLikeSecret(c.text, c.enabled), c.secret) << c.name;
}

// Captures through the fake clipboard, as the watcher does: contents copied by another
// process, read into a snapshot, turned into a candidate.
class CaptureTest : public test::TemporaryFolderTest
{
protected:
    std::optional<ClipCandidate> capture(const Contents &contents,
        std::optional<RunningApplication> frontmost = std::nullopt,
        const QSet<QString> &ignored = {}, bool ignoresSecrets = true, bool capturesImages = true)
    {
        m_pasteboard.copyFromOtherProcess(contents);
        const Timestamp before = now();
        auto candidate
            = captureCandidate(m_pasteboard.snapshot(PasteboardReadOptions { capturesImages }),
                frontmost, ignored, ignoresSecrets, capturesImages);
        if (candidate) {
            EXPECT_GE(candidate->capturedAt, before);
            EXPECT_LE(candidate->capturedAt, now());
            EXPECT_FALSE(candidate->isConcealed);
            EXPECT_FALSE(candidate->fileBookmark);
        }
        return candidate;
    }

    FakePasteboard m_pasteboard { decodePasteboardImage };
};

struct Expected
{
    ClipKind kind;
    std::optional<QString> text;
    QString title;
    std::optional<QString> subtitle;
    std::int64_t byteCount;
};

void expectCandidate(const std::optional<ClipCandidate> &candidate, const Expected &expected)
{
    ASSERT_TRUE(candidate.has_value());
    EXPECT_EQ(candidate->kind, expected.kind);
    EXPECT_EQ(candidate->text ? std::optional(QString::fromUtf8(*candidate->text)) : std::nullopt,
        expected.text);
    EXPECT_EQ(candidate->title, expected.title);
    EXPECT_EQ(candidate->subtitle, expected.subtitle);
    EXPECT_EQ(candidate->byteCount, expected.byteCount);
    EXPECT_EQ(candidate->payload.has_value(), expected.kind == ClipKind::image);
}

TEST_F(CaptureTest, TurnsTextIntoLinksColoursOrTextWithTheirTitles)
{
    const struct
    {
        const char *name;
        QString copied;
        Expected expected;
    } cases[] = {
        { "one line", QStringLiteral("Hello world"),
            { ClipKind::text, QStringLiteral("Hello world"), QStringLiteral("Hello world"),
                std::nullopt, 11 } },
        { "trimmed at both ends",
            QStringLiteral("\n\t  Hello there \t\n  second line\n\nthird\n\n"),
            { ClipKind::text, QStringLiteral("Hello there \t\n  second line\n\nthird"),
                QStringLiteral("Hello there"), QStringLiteral("second line\n\nthird"), 34 } },
        { "link with hyphens, underscores and an escape",
            QStringLiteral("https://www.example.com/blog/my-first_post%20here"),
            { ClipKind::link, QStringLiteral("https://www.example.com/blog/my-first_post%20here"),
                QStringLiteral("my first post here"), QStringLiteral("example.com"), 49 } },
        { "link with only a host keeps www in the title", QStringLiteral("https://www.example.com"),
            { ClipKind::link, QStringLiteral("https://www.example.com"),
                QStringLiteral("www.example.com"), QStringLiteral("example.com"), 23 } },
        { "link with an empty path piece", QStringLiteral("http://example.org//"),
            { ClipKind::link, QStringLiteral("http://example.org//"), QStringLiteral("example.org"),
                QStringLiteral("example.org"), 20 } },
        { "link whose escape is not UTF-8", QStringLiteral("https://example.org/a%FF"),
            { ClipKind::link, QStringLiteral("https://example.org/a%FF"),
                QStringLiteral("example.org"), QStringLiteral("example.org"), 24 } },
        { "escaped slash stays in the piece", QStringLiteral("ftp://example.org/a%2Fb"),
            { ClipKind::link, QStringLiteral("ftp://example.org/a%2Fb"), QStringLiteral("a/b"),
                QStringLiteral("example.org"), 23 } },
        { "mailto is a link without a host", QStringLiteral("mailto:someone@example.com"),
            { ClipKind::link, QStringLiteral("mailto:someone@example.com"),
                QStringLiteral("someone@example.com"), std::nullopt, 26 } },
        { "colour keeps its case, title upper case", QStringLiteral(" #aBc\n"),
            { ClipKind::color, QStringLiteral("#aBc"), QStringLiteral("#ABC"), std::nullopt, 4 } },
        { "full-width colour", QStringLiteral("#ａｂｃ"),
            { ClipKind::color, QStringLiteral("#ａｂｃ"), QStringLiteral("#ＡＢＣ"), std::nullopt,
                10 } },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        expectCandidate(capture({ { type::utf8String(), c.copied.toUtf8() } }), c.expected);
    }
}

TEST_F(CaptureTest, KeepsATextOverAMebibyteAsTheBytesCopiedTitledFromItsStart)
{
    // Too long for a link although it reads as one, with a two-byte character across the
    // first mebibyte's end, where the title's decoding stops.
    const QByteArray line = "https://example.com/" + QByteArray((1 << 20) - 21, 'a');
    const QByteArray copied = line + "\xC3\xA9" + QByteArray(100, 'a');
    m_pasteboard.copyFromOtherProcess({ { type::utf8String(), copied } });
    const PasteboardSnapshot snapshot = m_pasteboard.snapshot({});
    const auto candidate = captureCandidate(snapshot, std::nullopt, {}, true, true);
    ASSERT_TRUE(candidate);
    EXPECT_EQ(candidate->kind, ClipKind::text);
    // Compared without printing: a failure would print a mebibyte.
    EXPECT_TRUE(candidate->text == copied);
    EXPECT_EQ(candidate->byteCount, copied.size());
    EXPECT_TRUE(candidate->title == QString::fromLatin1(line)) << candidate->title.size();
    EXPECT_FALSE(candidate->subtitle);
    // Never decoded and encoded again: the candidate holds the very bytes that were read.
    EXPECT_EQ(candidate->text->constData(), snapshot.utf8Text()->constData());

    const auto lines = capture({ { type::utf8String(), "Notes\n" + QByteArray(1 << 20, 'b') } });
    ASSERT_TRUE(lines);
    EXPECT_EQ(lines->title, QStringLiteral("Notes"));
    EXPECT_EQ(lines->subtitle, QString(400, u'b'));
}

TEST_F(CaptureTest, RefusesSecretLookingTokensOnlyWhenTheSettingIsOn)
{
    const Contents token = { { type::plainText(), utf8("Xk9#mP2$vL5qR8wZ1nB4") } };
    EXPECT_FALSE(capture(token, std::nullopt, {}, true));
    expectCandidate(capture(token, std::nullopt, {}, false),
        { ClipKind::text, QStringLiteral("Xk9#mP2$vL5qR8wZ1nB4"),
            QStringLiteral("Xk9#mP2$vL5qR8wZ1nB4"), std::nullopt, 20 });
    // A refused secret does not fall through to an image offered beside it.
    EXPECT_FALSE(capture({ token.first(), { type::png(), test::encodedImage(2, 2, "png") } }));
}

TEST_F(CaptureTest, RecordsTheFrontmostApplicationAndRefusesIgnoredOnes)
{
    const Contents text = { { type::plainText(), utf8("meeting at noon") } };
    const RunningApplication editor { QStringLiteral("org.gnome.TextEditor"),
        QStringLiteral("Text Editor") };
    const RunningApplication keepass { QStringLiteral("org.keepassxc.KeePassXC"),
        QStringLiteral("KeePassXC") };
    const QSet<QString> ignored { keepass.bundleIdentifier.value() };

    auto fromEditor = capture(text, editor, ignored);
    ASSERT_TRUE(fromEditor);
    EXPECT_EQ(fromEditor->sourceBundleID, editor.bundleIdentifier);
    EXPECT_EQ(fromEditor->sourceAppName, editor.localizedName);

    EXPECT_FALSE(capture(text, keepass, ignored));
    EXPECT_FALSE(capture({ { type::png(), test::encodedImage(2, 2, "png") } }, keepass, ignored));
    EXPECT_FALSE(capture({ { type::uriList(), utf8("file:///tmp/a") } }, keepass, ignored));

    // A frontmost window of no known application, or none at all.
    for (const auto &frontmost :
        { std::optional(RunningApplication {}), std::optional<RunningApplication>() }) {
        const auto anonymous = capture(text, frontmost, ignored);
        ASSERT_TRUE(anonymous);
        EXPECT_FALSE(anonymous->sourceBundleID);
        EXPECT_FALSE(anonymous->sourceAppName);
    }
}

TEST_F(CaptureTest, RefusesEveryKindTheOwnerMarkedConcealedOrAutoGenerated)
{
    const std::pair<QString, QByteArray> kinds[] = {
        { type::plainText(), utf8("hunter2") },
        { type::uriList(), utf8("file:///tmp/a.txt\r\n") },
        { type::png(), test::encodedImage(4, 4, "png") },
    };
    const std::pair<QString, QByteArray> markers[] = {
        { type::concealed(), QByteArray() },
        { type::autoGenerated(), QByteArray() },
        { type::passwordManagerHint(), utf8("secret") },
    };
    for (const auto &content : kinds) {
        SCOPED_TRACE(content.first.toStdString());
        EXPECT_TRUE(capture({ content }));
        for (const auto &marker : markers)
            EXPECT_FALSE(capture({ content, marker })) << marker.first.toStdString();
        // Only the value "secret" marks a password.
        EXPECT_TRUE(capture({ content, { type::passwordManagerHint(), utf8("public") } }));
    }
}

TEST_F(CaptureTest, FilesComeFirstTitledAfterTheFirstWithTheCountOfTheRest)
{
    const QString first = test::writeFile(path(QStringLiteral("report 2024.pdf")), "12345");
    ASSERT_TRUE(QDir(path()).mkdir(QStringLiteral("folder")));
    const QByteArray list = "# copied\r\n" + QUrl::fromLocalFile(first).toEncoded() + "\r\n"
        + QUrl::fromLocalFile(path(QStringLiteral("b.txt"))).toEncoded() + "\r\n"
        + QUrl::fromLocalFile(path(QStringLiteral("folder"))).toEncoded() + "\r\n";
    // The folder as the subtitle shows it: a home folder as "~".
    const QString home = QDir::homePath();
    const QString shownFolder = path().startsWith(home + QLatin1Char('/'))
        ? QLatin1Char('~') + path().mid(home.size())
        : path();

    expectCandidate(
        capture({ { type::plainText(), utf8("ignored text") }, { type::uriList(), list } }),
        { ClipKind::file, first, QStringLiteral("report 2024.pdf + 2 more"), shownFolder, 5 });

    // The GNOME list, a folder (no size) and a home folder shown as "~".
    expectCandidate(
        capture({ { type::gnomeCopiedFiles(),
            "copy\n" + QUrl::fromLocalFile(path(QStringLiteral("folder"))).toEncoded() } }),
        { ClipKind::file, path(QStringLiteral("folder")), QStringLiteral("folder"), shownFolder,
            0 });
    const QString inHome = home + QStringLiteral("/Documents/notes.txt");
    expectCandidate(capture({ { type::uriList(), QUrl::fromLocalFile(inHome).toEncoded() } }),
        { ClipKind::file, inHome, QStringLiteral("notes.txt"), QStringLiteral("~/Documents"), 0 });
    expectCandidate(capture({ { type::uriList(),
                        QUrl::fromLocalFile(home + QStringLiteral("x/a")).toEncoded() } }),
        { ClipKind::file, home + QStringLiteral("x/a"), QStringLiteral("a"),
            home + QStringLiteral("x"), 0 });

    // A URL list without file URLs (a browser's link) is read as text instead.
    expectCandidate(capture({ { type::uriList(), utf8("https://example.com/a") },
                        { type::plainText(), utf8("https://example.com/a") } }),
        { ClipKind::link, QStringLiteral("https://example.com/a"), QStringLiteral("a"),
            QStringLiteral("example.com"), 21 });
}

TEST_F(CaptureTest, ImagesKeepPngBytesAndConvertTiffOnlyWhenThereIsNoUsableText)
{
    const QByteArray png = test::encodedImage(640, 480, "png");
    const auto image = capture({ { type::png(), png } });
    expectCandidate(image,
        { ClipKind::image, std::nullopt, QStringLiteral("640 × 480"), formatByteCount(png.size()),
            png.size() });
    EXPECT_EQ(image->payload, png);

    const QByteArray tiff = test::encodedImage(3, 5, "tiff");
    ASSERT_FALSE(tiff.isEmpty()) << "the TIFF image plugin is missing";
    const auto converted = capture({ { type::tiff(), tiff } });
    ASSERT_TRUE(converted && converted->payload);
    EXPECT_TRUE(converted->payload->startsWith("\x89PNG\r\n\x1a\n"));
    EXPECT_EQ(converted->title, QStringLiteral("3 × 5"));
    EXPECT_EQ(converted->byteCount, converted->payload->size());
    EXPECT_EQ(converted->subtitle, formatByteCount(converted->payload->size()));
    EXPECT_EQ(QImage::fromData(*converted->payload).size(), QSize(3, 5));

    // PNG wins over TIFF; undecodable PNG bytes give nothing rather than the TIFF.
    EXPECT_EQ(capture({ { type::tiff(), tiff }, { type::png(), png } })->payload, png);
    EXPECT_FALSE(capture({ { type::png(), utf8("not a png") }, { type::tiff(), tiff } }));
    EXPECT_FALSE(capture({ { type::tiff(), utf8("not a tiff") } }));

    // White space only: the image, when images are captured; otherwise nothing.
    const Contents blankWithImage = { { type::plainText(), utf8(" \n\t ") }, { type::png(), png } };
    EXPECT_EQ(capture(blankWithImage)->kind, ClipKind::image);
    EXPECT_FALSE(capture(blankWithImage, std::nullopt, {}, true, false));
    EXPECT_FALSE(capture({ { type::plainText(), utf8("  ") } }));

    // Usable text wins, and the image is then not even fetched.
    const QStringList before = m_pasteboard.fetchedTypes();
    EXPECT_EQ(capture({ { type::plainText(), utf8("caption") }, { type::png(), png } })->kind,
        ClipKind::text);
    EXPECT_FALSE(m_pasteboard.fetchedTypes().mid(before.size()).contains(type::png()));
}

TEST_F(CaptureTest, AnEmptyClipboardGivesNothing)
{
    m_pasteboard.copyFromOtherProcess({ { type::plainText(), utf8("x") } });
    m_pasteboard.ownerExited();
    EXPECT_FALSE(captureCandidate(m_pasteboard.snapshot({}), std::nullopt, {}, true, true));
    EXPECT_FALSE(capture({ { QStringLiteral("TARGETS"), QByteArray() },
        { QStringLiteral("application/x-unknown"), utf8("data") } }));
}

} // namespace
} // namespace corvane
