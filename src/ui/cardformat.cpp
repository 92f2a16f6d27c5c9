#include "cardformat.h"

#include "common/bytecount.h"
#include "common/graphemes.h"

#include <QMimeDatabase>

namespace corvane {

namespace {

QString unitPhrase(qint64 count, const char *unit)
{
    return QStringLiteral("%1 %2%3").arg(count).arg(
        QLatin1String(unit), count == 1 ? QString() : QStringLiteral("s"));
}

bool isBlank(const QVariant &value)
{
    return !value.isValid() || value.isNull() || value.toString().isEmpty();
}

} // namespace

QString CardFormat::relativeTime(const QDateTime &createdAt)
{
    return relativeTime(createdAt, QDateTime::currentDateTimeUtc());
}

QString CardFormat::relativeTime(const QDateTime &createdAt, const QDateTime &now)
{
    const qint64 seconds = createdAt.secsTo(now);
    if (seconds < 60 && seconds > -60)
        return QStringLiteral("just now");
    const qint64 age = seconds < 0 ? -seconds : seconds;
    QString phrase;
    if (age < 3600)
        phrase = unitPhrase(age / 60, "minute");
    else if (age < 86400)
        phrase = unitPhrase(age / 3600, "hour");
    else if (age < 7 * 86400)
        phrase = unitPhrase(age / 86400, "day");
    else if (age < 30 * 86400)
        phrase = unitPhrase(age / (7 * 86400), "week");
    else if (age < 365 * 86400)
        phrase = unitPhrase(age / (30 * 86400), "month");
    else
        phrase = unitPhrase(age / (365 * 86400), "year");
    return seconds < 0 ? QStringLiteral("in ") + phrase : phrase + QStringLiteral(" ago");
}

std::optional<QColor> CardFormat::parseHexColor(const QString &text)
{
    QString digits = text.startsWith(QLatin1Char('#')) ? text.mid(1) : text;
    if (digits.size() == 3) {
        QString doubled;
        for (const QChar c : digits)
            doubled += QString(2, c);
        digits = doubled;
    }
    if (digits.size() != 6 && digits.size() != 8)
        return std::nullopt;
    bool ok = false;
    const uint value = digits.toUInt(&ok, 16);
    // toUInt accepts a sign; a colour's digits never have one.
    if (!ok || digits.front() == QLatin1Char('+') || digits.front() == QLatin1Char('-'))
        return std::nullopt;
    if (digits.size() == 6)
        return QColor::fromRgb((value >> 16) & 0xff, (value >> 8) & 0xff, value & 0xff);
    return QColor::fromRgb(
        (value >> 24) & 0xff, (value >> 16) & 0xff, (value >> 8) & 0xff, value & 0xff);
}

QVariant CardFormat::hexColor(const QString &text)
{
    const std::optional<QColor> color = parseHexColor(text);
    return color ? QVariant(*color) : QVariant();
}

QString CardFormat::byteCount(qint64 bytes)
{
    return formatByteCount(bytes);
}

QString CardFormat::lead(const QString &text, int limit)
{
    if (text.size() <= limit)
        return text;
    QString shown = leftGraphemes(text, limit);
    // One character may carry thousands of combining marks, which a label shapes on every
    // layout (200 ms for 10,000): past a few per character the rest cannot be seen anyway.
    const qsizetype unitLimit = qsizetype(limit) * 8;
    if (shown.size() > unitLimit) {
        qsizetype end = unitLimit;
        if (shown.at(end).isLowSurrogate())
            --end;
        shown.truncate(end);
    }
    return shown;
}

QString CardFormat::fileIconName(const QString &path)
{
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return QStringLiteral("application-octet-stream");
    return type.iconName();
}

QString CardFormat::pinboardHelp(const QString &name, int position)
{
    if (position < 0 || position >= 9)
        return name;
    return QStringLiteral("%1 (Ctrl+Shift+%2)").arg(name).arg(position + 1);
}

QString CardFormat::emptyStateText(const QString &search, bool hasActiveFilters, bool pinboardShown)
{
    QString trimmed = search;
    const auto isBlankChar
        = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (!trimmed.isEmpty() && isBlankChar(trimmed.front()))
        trimmed.remove(0, 1);
    while (!trimmed.isEmpty() && isBlankChar(trimmed.back()))
        trimmed.chop(1);
    if (!trimmed.isEmpty()) {
        const QString quoted
            = QStringLiteral("Nothing matches \u201c") + trimmed + QStringLiteral("\u201d");
        return hasActiveFilters ? quoted + QStringLiteral(" with these filters") : quoted;
    }
    if (hasActiveFilters)
        return QStringLiteral("Nothing matches these filters");
    if (pinboardShown)
        return QStringLiteral("This pinboard is empty");
    return QStringLiteral("Copy something and it will show up here");
}

QString CardFormat::accessibleName(
    const QString &kindLabel, const QString &title, const QVariant &subtitle)
{
    QString name = kindLabel + QStringLiteral(". ") + lead(title);
    if (!isBlank(subtitle))
        name += QStringLiteral(" \u2014 ") + lead(subtitle.toString());
    return name;
}

QString CardFormat::footerLabel(const QString &kind, const QString &title, const QVariant &subtitle,
    const QVariant &sourceAppName)
{
    if (kind == QLatin1String("text"))
        return isBlank(sourceAppName) ? lead(title) : sourceAppName.toString();
    if (kind == QLatin1String("link") || kind == QLatin1String("file"))
        return lead(isBlank(subtitle) ? title : subtitle.toString());
    return lead(title);
}

} // namespace corvane
