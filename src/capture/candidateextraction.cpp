#include "candidateextraction.h"

#include "common/bytecount.h"
#include "common/graphemes.h"
#include "common/homefolder.h"
#include "common/utf8text.h"
#include "store/itemtitle.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

namespace corvane {

namespace {

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    const auto within = [u](char16_t low, char16_t high) { return u >= low && u <= high; };
    return within(u'0', u'9') || within(u'a', u'f')
        || within(u'A', u'F')
        // Full-width forms, which East Asian input methods produce.
        || within(u'\uFF10', u'\uFF19') || within(u'\uFF21', u'\uFF26')
        || within(u'\uFF41', u'\uFF46');
}

bool containsWhitespace(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

// Texts longer than this (in UTF-8 bytes) are kept as the bytes they were copied in and
// titled from their start; shorter ones are decoded whole to be recognised. A mebibyte is far
// beyond any link, colour or secret, and decoding a text of megabytes would hold it twice
// over, at twice its size, while it is recorded.
constexpr qsizetype wholeTextLimit = 1 << 20;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Strict percent-decoding: a stray "%" or bytes that are not UTF-8 are a failure, not
// something to guess around.
std::optional<QString> percentDecoded(const QString &text)
{
    const QByteArray encoded = text.toUtf8();
    QByteArray bytes;
    bytes.reserve(encoded.size());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            bytes.append(encoded[i]);
            continue;
        }
        if (i + 2 >= encoded.size())
            return std::nullopt;
        const int high = hexValue(encoded[i + 1]);
        const int low = hexValue(encoded[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.append(char(high * 16 + low));
        i += 2;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return decoded;
}

QString linkTitle(const QUrl &url, const QString &text)
{
    // The encoded path is split, so an escaped "/" stays inside its piece.
    const QStringList pieces
        = url.path(QUrl::FullyEncoded).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (!pieces.isEmpty()) {
        QString last = pieces.last();
        last.replace(QLatin1Char('-'), QLatin1Char(' '))
            .replace(QLatin1Char('_'), QLatin1Char(' '));
        if (const auto decoded = percentDecoded(last); decoded && !decoded->isEmpty())
            return *decoded;
    }
    const QString host = url.host();
    return host.isEmpty() ? text : host;
}

// A text candidate for the UTF-8 bytes, titled from `start` (the whole text decoded, or its
// start for a text too long to decode whole).
ClipCandidate textCandidate(const QByteArray &utf8, const QString &start)
{
    ClipCandidate candidate;
    candidate.kind = ClipKind::text;
    candidate.text = utf8;
    candidate.byteCount = utf8.size();
    const ItemTitle title = titleOfText(start);
    candidate.title = title.title;
    candidate.subtitle = title.subtitle;
    return candidate;
}

ClipCandidate linkCandidate(const QString &text, const QUrl &url)
{
    ClipCandidate candidate;
    candidate.kind = ClipKind::link;
    candidate.text = text.toUtf8();
    candidate.title = linkTitle(url, text);
    QString host = url.host();
    if (host.startsWith(QLatin1String("www.")))
        host.remove(0, 4);
    if (!host.isEmpty())
        candidate.subtitle = host;
    candidate.byteCount = candidate.text->size();
    return candidate;
}

ClipCandidate colorCandidate(const QString &color)
{
    ClipCandidate candidate;
    candidate.kind = ClipKind::color;
    candidate.text = color.toUtf8();
    candidate.title = color.toUpper();
    candidate.byteCount = candidate.text->size();
    return candidate;
}

ClipCandidate fileCandidate(const QList<QUrl> &files)
{
    const QString path = QDir::cleanPath(files.first().toLocalFile());
    const QFileInfo info(path);
    ClipCandidate candidate;
    candidate.kind = ClipKind::file;
    candidate.text = path.toUtf8();
    candidate.title = info.fileName().isEmpty() ? path : info.fileName();
    if (files.size() >= 2)
        candidate.title
            += QStringLiteral(" + ") + QString::number(files.size() - 1) + QStringLiteral(" more");
    candidate.subtitle = withHomeAsTilde(info.path());
    // Linux has no security-scoped bookmarks; the path is what later reads use.
    candidate.byteCount = info.isFile() ? info.size() : 0;
    return candidate;
}

ClipCandidate imageCandidate(const PasteboardImage &image)
{
    ClipCandidate candidate;
    candidate.kind = ClipKind::image;
    candidate.title = QString::number(image.pixelSize.width()) + QStringLiteral(" × ")
        + QString::number(image.pixelSize.height());
    candidate.subtitle = formatByteCount(image.png.size());
    candidate.payload = image.png;
    candidate.byteCount = image.png.size();
    return candidate;
}

} // namespace

std::optional<ClipCandidate> captureCandidate(const PasteboardSnapshot &pasteboard,
    const std::optional<RunningApplication> &frontmostApplication,
    const QSet<QString> &ignoredBundleIDs, bool ignoresSecretLookingText, bool capturesImages)
{
    std::optional<QString> sourceBundleID;
    std::optional<QString> sourceAppName;
    if (frontmostApplication) {
        sourceBundleID = frontmostApplication->bundleIdentifier;
        sourceAppName = frontmostApplication->localizedName;
    }
    const bool refused = (sourceBundleID && ignoredBundleIDs.contains(*sourceBundleID))
        || pasteboard.isMarkedNotToRecord();
    const auto finished = [&](ClipCandidate candidate) {
        candidate.sourceBundleID = sourceBundleID;
        candidate.sourceAppName = sourceAppName;
        candidate.isConcealed = false;
        candidate.capturedAt = now();
        return candidate;
    };

    QList<QUrl> files = pasteboard.fileURLs();
    files.removeIf([](const QUrl &url) { return !url.isLocalFile(); });
    if (!files.isEmpty()) {
        if (refused)
            return std::nullopt;
        return finished(fileCandidate(files));
    }

    const std::optional<QByteArray> text = pasteboard.utf8Text();
    if (refused)
        return std::nullopt;

    if (text && text->size() > wholeTextLimit) {
        // Too long to be a link, a colour or a secret; its first line and the start of the
        // rest are all its title needs.
        return finished(textCandidate(*text, decodedUtf8Start(*text, wholeTextLimit)));
    }
    if (text) {
        const QString string = QString::fromUtf8(*text).trimmed();
        if (looksLikeSecret(string, ignoresSecretLookingText))
            return std::nullopt;
        if (!string.isEmpty()) {
            if (const auto url = recognizeLink(string))
                return finished(linkCandidate(string, *url));
            if (const auto color = recognizeColor(string))
                return finished(colorCandidate(*color));
            return finished(textCandidate(string.toUtf8(), string));
        }
    }

    if (!capturesImages)
        return std::nullopt;
    const std::optional<PasteboardImage> image = pasteboard.image();
    if (!image || image->png.isEmpty() || image->pixelSize.isEmpty())
        return std::nullopt;
    return finished(imageCandidate(*image));
}

bool looksLikeSecret(const QString &text, bool enabled)
{
    constexpr qsizetype minimumCharacters = 20;
    constexpr qsizetype maximumCharacters = 200;
    if (!enabled)
        return false;
    const QString token = text.trimmed();
    // A long text is not counted to its end: a copied book is no secret either way.
    const qsizetype length = graphemeCountUpTo(token, maximumCharacters);
    if (length < minimumCharacters || length > maximumCharacters || containsWhitespace(token))
        return false;
    const QUrl url(token, QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty())
        return false;

    bool lower = false, upper = false, numeric = false, other = false;
    for (const char32_t c : token.toUcs4()) {
        if (QChar::isLower(c))
            lower = true;
        else if (QChar::isUpper(c))
            upper = true;
        else if (QChar::isNumber(c))
            numeric = true;
        else if (!QChar::isLetter(c))
            other = true;
    }
    return int(lower) + int(upper) + int(numeric) + int(other) >= 3;
}

std::optional<QUrl> recognizeLink(const QString &text)
{
    if (text.isEmpty() || containsWhitespace(text))
        return std::nullopt;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    static const QString allowed[] = { QStringLiteral("http"), QStringLiteral("https"),
        QStringLiteral("ftp"), QStringLiteral("mailto") };
    if (std::find(std::begin(allowed), std::end(allowed), scheme) == std::end(allowed))
        return std::nullopt;
    if (url.host().isEmpty() && scheme != QStringLiteral("mailto"))
        return std::nullopt;
    return url;
}

std::optional<QString> recognizeColor(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (!trimmed.startsWith(QLatin1Char('#')))
        return std::nullopt;
    const QStringView digits = QStringView(trimmed).mid(1);
    if (digits.size() != 3 && digits.size() != 6 && digits.size() != 8)
        return std::nullopt;
    if (!std::all_of(digits.begin(), digits.end(), isHexDigit))
        return std::nullopt;
    return trimmed;
}

} // namespace corvane
