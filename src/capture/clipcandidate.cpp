#include "clipcandidate.h"

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

} // namespace

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
