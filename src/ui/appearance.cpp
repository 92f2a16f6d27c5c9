#include "appearance.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QEvent>
#include <QGuiApplication>
#include <QPalette>

#include <array>

namespace corvane {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString portalInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

struct PaletteColor
{
    QColor light;
    QColor dark;
};

const std::array<PaletteColor, 6> &palette()
{
    static const std::array<PaletteColor, 6> colors = { {
        { QColor::fromRgbF(0.98f, 0.76f, 0.15f), QColor::fromRgbF(0.85f, 0.65f, 0.13f) },
        { QColor::fromRgbF(0.11f, 0.52f, 0.96f), QColor::fromRgbF(0.16f, 0.46f, 0.82f) },
        { QColor::fromRgbF(0.94f, 0.29f, 0.31f), QColor::fromRgbF(0.78f, 0.26f, 0.28f) },
        { QColor::fromRgbF(0.24f, 0.68f, 0.42f), QColor::fromRgbF(0.21f, 0.56f, 0.36f) },
        { QColor::fromRgbF(0.58f, 0.36f, 0.90f), QColor::fromRgbF(0.49f, 0.32f, 0.75f) },
        { QColor::fromRgbF(0.95f, 0.48f, 0.20f), QColor::fromRgbF(0.80f, 0.42f, 0.19f) },
    } };
    return colors;
}

// The portal wraps the value in one variant (Read) or none (ReadOne); unwrap all of them.
QVariant unwrapped(QVariant value)
{
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

} // namespace

Appearance::Appearance(QObject *parent)
    : QObject(parent)
{
    const QByteArray fixed = qgetenv("CORVANE_APPEARANCE");
    if (fixed == "dark" || fixed == "light") {
        m_fixed = true;
        m_dark = fixed == "dark";
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            portalService, portalPath, portalInterface, QStringLiteral("Read"));
        call << appearanceGroup << colorSchemeKey;
        // A short wait: the panel is built at start, and a missing portal must not hold it.
        const QDBusMessage reply = bus.call(call, QDBus::Block, 300);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            bool ok = false;
            const uint scheme = unwrapped(reply.arguments().constFirst()).toUInt(&ok);
            if (ok)
                m_portalScheme = static_cast<int>(scheme);
        }
        bus.connect(portalService, portalPath, portalInterface, QStringLiteral("SettingChanged"),
            this, SLOT(portalSettingChanged(QString, QString, QDBusVariant)));
    }
    if (qApp)
        qApp->installEventFilter(this);
    update();
}

QColor Appearance::pinboardColor(int colorIndex, bool dark)
{
    const PaletteColor &color = palette()[static_cast<std::size_t>(paletteIndex(colorIndex))];
    return dark ? color.dark : color.light;
}

QColor Appearance::kindColor(const QString &kind, bool dark)
{
    static const QStringList kinds = { QStringLiteral("text"), QStringLiteral("link"),
        QStringLiteral("image"), QStringLiteral("file"), QStringLiteral("color") };
    return pinboardColor(static_cast<int>(std::max<qsizetype>(kinds.indexOf(kind), 0)), dark);
}

int Appearance::paletteIndex(int colorIndex)
{
    return ((colorIndex % 6) + 6) % 6;
}

bool Appearance::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange)
        update();
    return QObject::eventFilter(watched, event);
}

void Appearance::portalSettingChanged(
    const QString &group, const QString &key, const QDBusVariant &value)
{
    if (group != appearanceGroup || key != colorSchemeKey)
        return;
    bool ok = false;
    const uint scheme = unwrapped(value.variant()).toUInt(&ok);
    m_portalScheme = ok ? static_cast<int>(scheme) : -1;
    update();
}

void Appearance::update()
{
    if (m_fixed)
        return;
    bool dark = false;
    if (m_portalScheme == 1 || m_portalScheme == 2)
        dark = m_portalScheme == 1;
    else
        dark = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
    if (dark == m_dark)
        return;
    m_dark = dark;
    Q_EMIT darkChanged();
}

} // namespace corvane
