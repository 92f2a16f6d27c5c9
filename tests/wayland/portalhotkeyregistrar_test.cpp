#include "childprocess.h"
#include "eventloopwait.h"
#include "platform/wayland/portalhotkeyregistrar.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QMutex>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace corvane {
namespace {

// The desktop portal's GlobalShortcuts as the portal documents it, on a private bus:
// it answers each request on the request object the caller named, binds what it is given,
// and lets the test press a shortcut. It runs on a thread of its own, since the registrar
// asks it a question that blocks.
class FakePortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)

public:
    explicit FakePortal(const QDBusConnection &bus)
        : m_bus(bus)
    { }

    uint version() const { return 1; }

    QList<PortalShortcut> bound() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_bound;
    }

    void press(const QString &id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(0)
               << QVariantMap();
        m_bus.send(signal);
    }

    const QString session = QStringLiteral("/org/freedesktop/portal/desktop/session/x/corvane");

public Q_SLOTS:
    QDBusObjectPath CreateSession(const QVariantMap &options, const QDBusMessage &message)
    {
        const QDBusObjectPath request = requestFor(message, options);
        respond(request,
            { { QStringLiteral("session_handle"),
                QVariant::fromValue(QDBusObjectPath(session)) } });
        return request;
    }

    QDBusObjectPath BindShortcuts(const QDBusObjectPath &,
        const QList<corvane::PortalShortcut> &shortcuts, const QString &,
        const QVariantMap &options, const QDBusMessage &message)
    {
        {
            const QMutexLocker lock(&m_mutex);
            m_bound = shortcuts;
        }
        const QDBusObjectPath request = requestFor(message, options);
        respond(request, {});
        return request;
    }

private:
    static QDBusObjectPath requestFor(const QDBusMessage &message, const QVariantMap &options)
    {
        QString sender = message.service().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        return QDBusObjectPath(
            QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                .arg(sender, options.value(QStringLiteral("handle_token")).toString()));
    }

    void respond(const QDBusObjectPath &request, const QVariantMap &results)
    {
        QDBusMessage signal = QDBusMessage::createSignal(request.path(),
            QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        signal << 0u << results;
        m_bus.send(signal);
    }

    QDBusConnection m_bus;
    mutable QMutex m_mutex;
    QList<PortalShortcut> m_bound;
};

// Each test on a session bus of its own.
class PortalHotkeyRegistrarTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const auto line = m_daemon.readLine(10000);
        ASSERT_TRUE(line) << "dbus-daemon gave no address";
        address = QString::fromUtf8(*line);
    }
    void TearDown() override
    {
        m_daemon.signal(SIGTERM);
        m_daemon.wait(5000);
    }

    QString address;

private:
    test::ChildProcess m_daemon { { .program = QStringLiteral("dbus-daemon"),
        .arguments = { QStringLiteral("--session"), QStringLiteral("--nofork"),
            QStringLiteral("--print-address=1") },
        .standardErrorFile = QStringLiteral("/dev/null") } };
};

TEST_F(PortalHotkeyRegistrarTest, OffersTheCombinationAndReportsItsPresses)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    {
        QDBusConnection serviceBus
            = QDBusConnection::connectToBus(address, QStringLiteral("portal"));
        ASSERT_TRUE(serviceBus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        QThread portalThread;
        // Stopped however the test ends, before the portal goes.
        const struct Stop
        {
            QThread &thread;
            ~Stop()
            {
                thread.quit();
                thread.wait();
            }
        } stop { portalThread };
        FakePortal portal(serviceBus);
        portal.moveToThread(&portalThread);
        portalThread.start();
        ASSERT_TRUE(serviceBus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"),
            &portal, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));

        const QDBusConnection clientBus
            = QDBusConnection::connectToBus(address, QStringLiteral("client"));
        const auto registrar = PortalHotkeyRegistrar::create(clientBus,
            [](std::uint32_t keyCode) { return keyCode == 9 ? QStringLiteral("v") : QString(); });
        ASSERT_TRUE(registrar);
        QSignalSpy pressed(registrar.get(), &HotkeyRegistrar::pressed);

        const auto handle = registrar->registerHotkey(defaultHotkeyCombination, 7);
        ASSERT_TRUE(handle);
        ASSERT_TRUE(test::spinUntil([&] { return !portal.bound().isEmpty(); }, 5s));
        const PortalShortcut shortcut = portal.bound().first();
        EXPECT_EQ(shortcut.id, QStringLiteral("7"));
        EXPECT_EQ(shortcut.properties.value(QStringLiteral("preferred_trigger")).toString(),
            QStringLiteral("SHIFT+LOGO+v"));

        portal.press(QStringLiteral("7"));
        ASSERT_TRUE(test::spinUntil([&] { return !pressed.isEmpty(); }, 5s));
        EXPECT_EQ(pressed.first().at(0).toUInt(), 7u);

        // Given back: bound again without it, and a late press is not reported.
        registrar->unregisterHotkey(*handle);
        ASSERT_TRUE(test::spinUntil([&] { return portal.bound().isEmpty(); }, 5s));
        portal.press(QStringLiteral("7"));
        test::spinFor(300ms);
        EXPECT_EQ(pressed.size(), 1);

        serviceBus.unregisterObject(QStringLiteral("/org/freedesktop/portal/desktop"));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
}

// Without a portal on the bus there is no registrar, and the application falls back.
TEST_F(PortalHotkeyRegistrarTest, IsNothingWithoutAPortal)
{
    EXPECT_FALSE(PortalHotkeyRegistrar::create(
        QDBusConnection::connectToBus(address, QStringLiteral("empty")), {}));
    QDBusConnection::disconnectFromBus(QStringLiteral("empty"));
}

} // namespace
} // namespace corvane

#include "portalhotkeyregistrar_test.moc"
