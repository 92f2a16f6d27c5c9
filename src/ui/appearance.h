#pragma once

#include <QColor>
#include <QDBusVariant>
#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace corvane {

// Whether the panel is drawn in the dark appearance, and the colours that depend on it.
// CORVANE_APPEARANCE=dark or light fixes the answer (screenshots, tests); otherwise the
// desktop's color-scheme setting from the settings portal decides when a portal answers,
// else the lightness of the palette's window colour. Changes of either are followed.
class Appearance : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool dark READ isDark NOTIFY darkChanged)

public:
    explicit Appearance(QObject *parent = nullptr);

    bool isDark() const { return m_dark; }

    // The pinboard palette's colour for a colour index; every index wraps into the six.
    Q_INVOKABLE static QColor pinboardColor(int colorIndex, bool dark);
    // The accent colour of an item kind by its stored name ("text" ... "color").
    Q_INVOKABLE static QColor kindColor(const QString &kind, bool dark);
    // The palette position of a colour index: ((index mod 6) + 6) mod 6.
    static int paletteIndex(int colorIndex);

Q_SIGNALS:
    void darkChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void portalSettingChanged(const QString &group, const QString &key, const QDBusVariant &value);

private:
    void update();

    bool m_dark = false;
    bool m_fixed = false;
    // -1: no portal answer; 0 no preference, 1 dark, 2 light.
    int m_portalScheme = -1;
};

} // namespace corvane
