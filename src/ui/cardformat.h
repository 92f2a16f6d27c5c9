#pragma once

#include <QColor>
#include <QDateTime>
#include <QObject>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace corvane {

// The texts and values a card and the panel draw that follow rules of their own: ages,
// colours parsed from hexadecimal text, sizes, character counts, shortcut help texts and
// the empty state's line.
class CardFormat : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    // "just now" under 60 seconds, else "5 minutes ago", "1 day ago", "in 2 hours"...
    Q_INVOKABLE static QString relativeTime(const QDateTime &createdAt);
    Q_INVOKABLE static QString relativeTime(const QDateTime &createdAt, const QDateTime &now);
    // The colour "#rgb", "rrggbb" or "#rrggbbaa" names; undefined for anything else.
    Q_INVOKABLE static QVariant hexColor(const QString &text);
    static std::optional<QColor> parseHexColor(const QString &text);
    Q_INVOKABLE static QString byteCount(qint64 bytes);
    // The first `limit` characters of a text that may be very long: a card shows a few lines,
    // and laying out all of a megabyte-long line would stall the panel. At most 8 UTF-16 units
    // a character are kept, so a letter piled with marks is cut too.
    Q_INVOKABLE static QString lead(const QString &text, int limit = 400);
    // The theme icon name of the file type named by the path's extension.
    Q_INVOKABLE static QString fileIconName(const QString &path);
    // "Work (Ctrl+Shift+1)" for the first nine pinboards, the name alone after them.
    Q_INVOKABLE static QString pinboardHelp(const QString &name, int position);
    // The empty state's line for the search text, the filters and the tab shown.
    Q_INVOKABLE static QString emptyStateText(
        const QString &search, bool hasActiveFilters, bool pinboardShown);
    // The card's accessibility name: "Link. Title — subtitle".
    Q_INVOKABLE static QString accessibleName(
        const QString &kindLabel, const QString &title, const QVariant &subtitle);
    // The footer's leading label by kind.
    Q_INVOKABLE static QString footerLabel(const QString &kind, const QString &title,
        const QVariant &subtitle, const QVariant &sourceAppName);
};

} // namespace corvane
