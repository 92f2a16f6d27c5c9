#include "itemtitle.h"

#include "common/graphemes.h"

#include <QStringView>

namespace corvane {

namespace {

constexpr qsizetype untitledTitleCharacters = 80;
constexpr qsizetype subtitleCharacters = 400;

// The whole line when there is nothing to trim, so a long line is shared rather than copied.
QString trimmedSpacesAndTabs(const QString &line)
{
    const auto isBlank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isBlank(line[begin]))
        ++begin;
    while (end > begin && isBlank(line[end - 1]))
        --end;
    return line.mid(begin, end - begin);
}

// The offset of the line feed that ends the first line, or -1 when the text is one line. A
// carriage return and line feed pair is one character to a reader of characters, so it does
// not split.
qsizetype firstLineBreak(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\n') && (i == 0 || text[i - 1] != QLatin1Char('\r')))
            return i;
    }
    return -1;
}

} // namespace

ItemTitle titleOfText(const QString &text, FirstLine firstLine)
{
    // Only the first line and the start of the rest are read: a copied text of megabytes is
    // never split into lines or copied whole just to cut its first 400 characters.
    const qsizetype lineBreak = firstLineBreak(text);
    const QString first = lineBreak < 0 ? text : text.first(lineBreak);
    ItemTitle result;
    result.title = firstLine == FirstLine::trimmed ? trimmedSpacesAndTabs(first) : first;
    if (result.title.isEmpty())
        result.title = leftGraphemes(text, untitledTitleCharacters);
    if (lineBreak >= 0) {
        // The lines after the first, joined by their own line feeds: the text after the break.
        if (const QStringView rest = QStringView(text).sliced(lineBreak + 1).trimmed();
            !rest.isEmpty()) {
            result.subtitle = leftGraphemes(rest, subtitleCharacters);
        }
    }
    return result;
}

} // namespace corvane
