#pragma once

#include <QIcon>
#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace corvane {

// Application icons by the source application's identifier (its desktop entry id), read
// from the entry's Icon key. Every identifier is looked up once in the life of the process,
// an application without an icon too.
class AppIcons : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE static bool hasIcon(const QString &bundleID);
    // The icon, or a null icon when the application or its icon cannot be found.
    static QIcon icon(const QString &bundleID);
    // How many identifiers have been looked up so far.
    static int lookupCount();
};

} // namespace corvane
