#include "itemtitle.h"

#include "common/graphemes.h"

#include <QStringList>

namespace corvane {

namespace {

constexpr qsizetype untitledTitleCharacters = 80;
constexpr qsizetype subtitleCharacters = 400;

QString trimmedSpacesAndTabs(QStringView line)
{
    const auto isBlank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isBlank(line[begin]))
        ++begin;
    while (end > begin && isBlank(line[end - 1]))
        --end;
    return line.mid(begin, end - begin).toString();
}

// A carriage return and line feed pair is one character to a reader of characters, so it
// does not split.
QStringList lines(const QString &text)
{
    QStringList result;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('\n') && (i == 0 || text[i - 1] != QLatin1Char('\r'))) {
            result.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    result.append(text.mid(start));
    return result;
}

} // namespace

ItemTitle titleOfText(const QString &text, FirstLine firstLine)
{
    QStringList all = lines(text);
    ItemTitle result;
    const QString first = all.takeFirst();
    result.title = firstLine == FirstLine::trimmed ? trimmedSpacesAndTabs(first) : first;
    if (result.title.isEmpty())
        result.title = leftGraphemes(text, untitledTitleCharacters);
    if (const QString rest = all.join(QLatin1Char('\n')).trimmed(); !rest.isEmpty())
        result.subtitle = leftGraphemes(rest, subtitleCharacters);
    return result;
}

} // namespace corvane
