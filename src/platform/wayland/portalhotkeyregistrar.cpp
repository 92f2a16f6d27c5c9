#include "portalhotkeyregistrar.h"

#include "common/logging.h"

#include <QDBusArgument>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>

namespace corvane {

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

} // namespace

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

std::unique_ptr<PortalHotkeyRegistrar> PortalHotkeyRegistrar::create(
    const QDBusConnection &bus, KeyText keyText)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    if (!bus.isConnected())
        return nullptr;
    // Asked once at start, briefly: a portal that does not answer at once offers nothing.
    QDBusMessage get = QDBusMessage::createMethodCall(portalService, portalPath,
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << shortcutsInterface << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 1000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return nullptr;
    std::unique_ptr<PortalHotkeyRegistrar> registrar(
        new PortalHotkeyRegistrar(bus, std::move(keyText)));
    registrar->m_bus.connect(portalService, portalPath, shortcutsInterface,
        QStringLiteral("Activated"), registrar.get(), SLOT(onActivated(QDBusMessage)));
    return registrar;
}

PortalHotkeyRegistrar::PortalHotkeyRegistrar(const QDBusConnection &bus, KeyText keyText)
    : m_bus(bus)
    , m_keyText(std::move(keyText))
{ }

PortalHotkeyRegistrar::~PortalHotkeyRegistrar()
{
    if (!m_session.isEmpty()) {
        m_bus.call(QDBusMessage::createMethodCall(portalService, m_session,
                       QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close")),
            QDBus::NoBlock);
    }
}

QString PortalHotkeyRegistrar::keyText(std::uint32_t keyCode) const
{
    return m_keyText ? m_keyText(keyCode) : QString();
}

QString PortalHotkeyRegistrar::triggerText(const HotkeyCombination &combination) const
{
    const QString key = keyText(combination.keyCode).toLower();
    if (key.isEmpty())
        return {};
    QStringList parts;
    for (const auto &[modifier, name] : { std::pair { HotkeyCombination::control, "CTRL" },
             std::pair { HotkeyCombination::option, "ALT" },
             std::pair { HotkeyCombination::shift, "SHIFT" },
             std::pair { HotkeyCombination::command, "LOGO" } }) {
        if (combination.modifiers & modifier)
            parts << QString::fromLatin1(name);
    }
    parts << key;
    return parts.join(QLatin1Char('+'));
}

std::optional<HotkeyRegistrar::Handle> PortalHotkeyRegistrar::registerHotkey(
    const HotkeyCombination &combination, std::uint32_t id)
{
    m_registered[id] = triggerText(combination);
    if (m_session.isEmpty())
        createSession();
    else
        bindShortcuts();
    return Handle(id) + 1;
}

void PortalHotkeyRegistrar::unregisterHotkey(Handle handle)
{
    // The portal binds a session's shortcuts as a whole: the others are bound again without
    // this one, and its presses are no longer reported.
    if (handle == 0 || m_registered.erase(std::uint32_t(handle - 1)) == 0)
        return;
    if (!m_session.isEmpty())
        bindShortcuts();
}

// The portal answers on a request object whose path follows from this connection's name and
// a token; listening there first means no answer is missed.
QString PortalHotkeyRegistrar::requestPath(const QString &token) const
{
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

void PortalHotkeyRegistrar::createSession()
{
    if (m_creatingSession)
        return;
    m_creatingSession = true;
    const QString token = QStringLiteral("corvane%1").arg(++m_nextToken);
    m_bus.connect(portalService, requestPath(token), requestInterface, QStringLiteral("Response"),
        this, SLOT(onSessionCreated(uint, QVariantMap)));
    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalPath, shortcutsInterface, QStringLiteral("CreateSession"));
    call << QVariantMap { { QStringLiteral("handle_token"), token },
        { QStringLiteral("session_handle_token"), QStringLiteral("corvane") } };
    m_bus.call(call, QDBus::NoBlock);
}

void PortalHotkeyRegistrar::onSessionCreated(uint response, const QVariantMap &results)
{
    m_creatingSession = false;
    if (response != 0) {
        qCWarning(lcHotkey, "Could not register the hot key: the desktop portal refused a session");
        return;
    }
    // An object path, as the portal documents it; some portals send it as a string.
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    m_session = handle.userType() == qMetaTypeId<QDBusObjectPath>()
        ? handle.value<QDBusObjectPath>().path()
        : handle.toString();
    bindShortcuts();
}

void PortalHotkeyRegistrar::bindShortcuts()
{
    QList<PortalShortcut> shortcuts;
    for (const auto &[id, trigger] : m_registered) {
        QVariantMap properties { { QStringLiteral("description"),
            QStringLiteral("Show or hide Corvane's clipboard history") } };
        if (!trigger.isEmpty())
            properties.insert(QStringLiteral("preferred_trigger"), trigger);
        shortcuts.append({ QString::number(id), properties });
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalPath, shortcutsInterface, QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariant::fromValue(shortcuts)
         << QString()
         << QVariantMap { { QStringLiteral("handle_token"),
                QStringLiteral("corvane%1").arg(++m_nextToken) } };
    m_bus.call(call, QDBus::NoBlock);
}

// Activated(o session_handle, s shortcut_id, t timestamp, a{sv} options)
void PortalHotkeyRegistrar::onActivated(const QDBusMessage &message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2)
        return;
    bool isNumber = false;
    const std::uint32_t id = arguments.at(1).toString().toUInt(&isNumber);
    if (arguments.at(0).value<QDBusObjectPath>().path() == m_session && isNumber
        && m_registered.contains(id))
        Q_EMIT pressed(id);
}

} // namespace corvane
