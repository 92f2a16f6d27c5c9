#include "app/loginitem.h"
#include "logcapture.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <chrono>
#include <gtest/gtest.h>
#include <signal.h>
#include <tuple>

namespace corvane {
namespace {

using namespace std::chrono_literals;

// A systemctl that keeps the unit's state in files beside itself and records every call
// but the state queries ("show"), so a test sees exactly what was changed.
const char *const standInSystemctl = R"(#!/bin/sh
dir=$(dirname "$0")
[ "$2" = show ] || echo "$2 $3" >> "$dir/calls"
[ -f "$dir/no-manager" ] && { echo "Failed to connect to bus: No medium found" >&2; exit 1; }
[ -f "$dir/hang" ] && exec sleep 30
case "$2" in
show)
    if [ -f "$dir/installed" ]; then
        echo LoadState=loaded
        if [ -f "$dir/enabled" ]; then echo UnitFileState=enabled; else echo UnitFileState=disabled; fi
    else
        echo LoadState=not-found
        echo UnitFileState=
    fi ;;
enable)
    [ -f "$dir/refuse-enable" ] && { echo "Failed to enable unit: Access denied" >&2; exit 1; }
    touch "$dir/enabled" ;;
disable)
    [ -f "$dir/refuse-disable" ] && { echo "Failed to disable unit: Access denied" >&2; exit 1; }
    rm -f "$dir/enabled" ;;
esac
)";

class LoginItemTest : public test::TemporaryFolderTest
{
protected:
    void SetUp() override
    {
        TemporaryFolderTest::SetUp();
        ASSERT_TRUE(QFile::setPermissions(
            test::writeFile(bin(QStringLiteral("systemctl")), standInSystemctl),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        m_previousPath = qgetenv("PATH");
        qputenv("PATH", path(QStringLiteral("bin")).toUtf8() + ':' + m_previousPath);
        setFlag("installed", true);
    }

    void TearDown() override { qputenv("PATH", m_previousPath); }

    QString bin(const QString &name) const { return path(QStringLiteral("bin/") + name); }

    void setFlag(const char *flag, bool on)
    {
        QFile file(bin(QLatin1String(flag)));
        if (on)
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        else
            file.remove();
    }

    // Every call but the state queries since the last time, in order.
    QStringList takeCalls()
    {
        const QStringList calls
            = QString::fromUtf8(test::fileContents(bin(QStringLiteral("calls"))))
                  .split(u'\n', Qt::SkipEmptyParts);
        QFile::remove(bin(QStringLiteral("calls")));
        return calls;
    }

    LoginItem::Environment environment(const QString &build = QStringLiteral("0.2.0+7")) const
    {
        LoginItem::Environment environment;
        environment.autostartFolder = path(QStringLiteral("config/autostart"));
        environment.executablePath = QStringLiteral("/opt/My Apps/corvane");
        environment.currentBuild = build;
        return environment;
    }

    QByteArray m_previousPath;
};

TEST_F(LoginItemTest, EveryTransitionLeavesOnlyTheRegistrationsOfTheNewState)
{
    const QString unit = QStringLiteral("com.ferrowen.corvane.service");
    const QList<LoginItem::State> states { { false, false }, { true, false }, { false, true },
        { true, true } };
    for (const LoginItem::State from : states) {
        for (const LoginItem::State to : states) {
            SCOPED_TRACE(testing::Message()
                << "from " << from.opensAtLogin << from.reopensAfterCrash << " to "
                << to.opensAtLogin << to.reopensAfterCrash);
            LoginItem item(environment());
            // Either way of opening at login that the old state had.
            setFlag("enabled", from.reopensAfterCrash);
            QFile::remove(item.autostartPath());
            if (from.opensAtLogin && !from.reopensAfterCrash)
                item.apply(LoginItem::State { true, false });
            takeCalls();

            // The settings window's form of apply.
            EXPECT_TRUE(item.apply(to.opensAtLogin, to.reopensAfterCrash));

            QStringList expectedCalls;
            if (from.reopensAfterCrash && !to.reopensAfterCrash)
                expectedCalls << QStringLiteral("disable ") + unit;
            if (!from.reopensAfterCrash && to.reopensAfterCrash)
                expectedCalls << QStringLiteral("enable ") + unit;
            EXPECT_EQ(takeCalls(), expectedCalls);
            EXPECT_EQ(QFile::exists(bin(QStringLiteral("enabled"))), to.reopensAfterCrash);
            EXPECT_EQ(
                QFile::exists(item.autostartPath()), to.opensAtLogin && !to.reopensAfterCrash);
            const LoginItem::State expected { to.opensAtLogin || to.reopensAfterCrash,
                to.reopensAfterCrash };
            EXPECT_EQ(item.state(), expected);
            EXPECT_EQ(item.opensAtLogin(), expected.opensAtLogin);
            EXPECT_EQ(item.reopensAfterCrash(), expected.reopensAfterCrash);
        }
    }
}

TEST_F(LoginItemTest, AutostartEntryStartsTheRunningExecutableFromTheUsersConfigFolder)
{
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", path(QStringLiteral("xdg")).toUtf8());
    LoginItem::Environment environment = LoginItem::Environment::forThisProcess();
    qputenv("XDG_CONFIG_HOME", previous);
    EXPECT_EQ(environment.autostartFolder, path(QStringLiteral("xdg/autostart")));

    environment.executablePath = QStringLiteral("/opt/My \"Apps\"/100%/$HOME\\corvane");
    LoginItem item(environment);
    item.apply(LoginItem::State { true, false });

    const QStringList lines = QString::fromUtf8(
        test::fileContents(path(QStringLiteral("xdg/autostart/com.ferrowen.corvane.desktop"))))
                                  .split(u'\n');
    EXPECT_EQ(lines.value(0), QStringLiteral("[Desktop Entry]"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Type=Application")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Name=Corvane")));
    // Quoted, with ", $ and \ escaped inside the quotes, % doubled, and every backslash
    // doubled again because Exec is a string value.
    EXPECT_TRUE(
        lines.contains(QStringLiteral(R"(Exec="/opt/My \\"Apps\\"/100%%/\\$HOME\\\\corvane")")))
        << lines.join(u'\n').toStdString();
}

TEST_F(LoginItemTest, RefusedChangesThrowLogAndKeepTheStepsBefore)
{
    struct Case
    {
        const char *name;
        LoginItem::State from;
        LoginItem::State to;
        const char *refusal;
        QString logged;
        LoginItem::State after;
    };
    const QString refusedEnable = QStringLiteral(
        "Could not register the crash-recovery agent (com.ferrowen.corvane.service): systemctl "
        "enable com.ferrowen.corvane.service failed: Failed to enable unit: Access denied");
    const QString refusedDisable = QStringLiteral(
        "Could not unregister the crash-recovery agent (com.ferrowen.corvane.service): systemctl "
        "disable com.ferrowen.corvane.service failed: Failed to disable unit: Access denied");
    const Case cases[] = {
        // The autostart entry is removed before the unit is refused: nothing opens at login.
        { "enable refused", { true, false }, { true, true }, "refuse-enable", refusedEnable,
            { false, false } },
        { "disable refused", { true, true }, { true, false }, "refuse-disable", refusedDisable,
            { true, true } },
        { "disable refused, both off", { true, true }, { false, false }, "refuse-disable",
            refusedDisable, { true, true } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        LoginItem item(environment());
        item.apply(c.from);
        setFlag(c.refusal, true);
        test::LogCapture log("com.ferrowen.corvane.loginitem");

        EXPECT_THROW(item.apply(c.to), std::runtime_error);
        EXPECT_EQ(log.messages(), QStringList { c.logged });
        EXPECT_EQ(item.state(), c.after);
        // The settings window's form: no exception, and the state to read back.
        EXPECT_FALSE(item.apply(c.to.opensAtLogin, c.to.reopensAfterCrash));
        EXPECT_EQ((LoginItem::State { item.opensAtLogin(), item.reopensAfterCrash() }), c.after);
        setFlag(c.refusal, false);
        item.apply(LoginItem::State {});
    }
}

TEST_F(LoginItemTest, RefreshReenablesOnlyAnEnabledUnitOfAnotherBuild)
{
    struct Case
    {
        const char *name;
        bool enabled;
        std::optional<QString> registeredBuild;
        QStringList calls;
        QStringList logged;
    };
    const QStringList reenable { QStringLiteral("disable com.ferrowen.corvane.service"),
        QStringLiteral("daemon-reload "), QStringLiteral("enable com.ferrowen.corvane.service") };
    const auto changed = [](const char *from) {
        return QStringList { QStringLiteral("App changed since the agent was registered (%1 → "
                                            "0.2.0+7); re-registering so the user manager "
                                            "picks up the new build.")
                                 .arg(QLatin1String(from)) };
    };
    const Case cases[] = {
        { "same build", true, QStringLiteral("0.2.0+7"), {}, {} },
        { "new build", true, QStringLiteral("0.1.0+3"), reenable, changed("0.1.0+3") },
        { "no build remembered", true, std::nullopt, reenable, changed("unknown") },
        { "unit not enabled", false, QStringLiteral("0.1.0+3"), {}, {} },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        setFlag("enabled", c.enabled);
        takeCalls();
        LoginItem item(environment());
        test::LogCapture log("com.ferrowen.corvane.loginitem");

        EXPECT_EQ(item.refresh(c.registeredBuild), QStringLiteral("0.2.0+7"));
        EXPECT_EQ(takeCalls(), c.calls);
        EXPECT_EQ(log.messages().filter(QStringLiteral("App changed")), c.logged);
        EXPECT_EQ(item.state().reopensAfterCrash, c.enabled);
    }
}

TEST_F(LoginItemTest, RefreshIgnoresAFailedDisableButThrowsAFailedEnable)
{
    setFlag("enabled", true);
    setFlag("refuse-disable", true);
    LoginItem item(environment());
    EXPECT_EQ(item.refresh(QStringLiteral("0.1.0+3")), QStringLiteral("0.2.0+7"));

    setFlag("refuse-disable", false);
    setFlag("refuse-enable", true);
    try {
        item.refresh(QStringLiteral("0.1.0+3"));
        ADD_FAILURE() << "a refused enable must throw";
    } catch (const std::runtime_error &error) {
        EXPECT_STREQ(error.what(),
            "systemctl enable com.ferrowen.corvane.service failed: Failed to enable unit: Access "
            "denied");
    }
}

TEST_F(LoginItemTest, AvailableOnlyWhenTheManagerAnswersAndFindsTheUnit)
{
    // Whether the unit file is installed, whether a user manager answers, and the outcome.
    for (const auto &[installed, manager, available] : { std::tuple(true, true, true),
             std::tuple(false, true, false), std::tuple(true, false, false) }) {
        SCOPED_TRACE(testing::Message() << "installed " << installed << ", manager " << manager);
        setFlag("installed", installed);
        setFlag("no-manager", !manager);
        EXPECT_EQ(LoginItem(environment()).isAvailable(), available);
    }
}

TEST_F(LoginItemTest, SystemctlThatHangsOrIsMissingCountsAsNoAgent)
{
    LoginItem::Environment hanging = environment();
    hanging.timeout = 300ms;
    setFlag("hang", true);
    setFlag("enabled", true);
    LoginItem item(hanging);
    EXPECT_FALSE(item.isAvailable());
    EXPECT_EQ(item.state(), (LoginItem::State { false, false }));
    EXPECT_EQ(item.refresh(std::nullopt), QStringLiteral("0.2.0+7"));

    LoginItem::Environment missing = environment();
    missing.systemctl = path(QStringLiteral("no-such-systemctl"));
    EXPECT_FALSE(LoginItem(missing).isAvailable());
    EXPECT_THROW(LoginItem(missing).apply(LoginItem::State { true, true }), std::runtime_error);
}

// The unit file as installed, with the executable's path filled in.
QString unitText(const QString &execStart)
{
    return QString::fromUtf8(test::fileContents(qEnvironmentVariable("CORVANE_SOURCE_DIR")
                                 + QStringLiteral("/data/com.ferrowen.corvane.service")))
        .replace(QStringLiteral("@CORVANE_INSTALLED_EXECUTABLE@"), execStart);
}

// Runs systemctl --user with the words of a command and then one more argument, and gives its
// standard output, trimmed.
QString systemctl(const char *command, const QString &argument = {})
{
    QStringList arguments = QStringLiteral("--user %1").arg(QLatin1String(command)).split(u' ');
    if (!argument.isEmpty())
        arguments << argument;
    QProcess process;
    process.start(QStringLiteral("systemctl"), arguments);
    if (!process.waitForFinished(10000))
        return {};
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

TEST_F(LoginItemTest, UnitFileIsValidAndOnlyRestartsFailuresWithinALimit)
{
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty())
        GTEST_SKIP() << "systemd-analyze is not installed: the unit file cannot be checked.";
    const QString text = unitText(QStringLiteral("/bin/true"));
    ASSERT_FALSE(text.isEmpty()) << "data/com.ferrowen.corvane.service not found";
    const QString unit
        = test::writeFile(path(QStringLiteral("com.ferrowen.corvane.service")), text.toUtf8());
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("runtime"))));

    QProcess verify;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
    verify.setProcessEnvironment(environment);
    verify.start(analyze, { QStringLiteral("--user"), QStringLiteral("verify"), unit });
    ASSERT_TRUE(verify.waitForFinished(30000));
    // systemd-analyze reports every directive it does not understand on standard error.
    EXPECT_EQ(verify.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(verify.readAllStandardError()), QString());

    const QStringList lines = text.split(u'\n');
    for (const char *line :
        { "Restart=on-failure", "PartOf=graphical-session.target", "After=graphical-session.target",
            "WantedBy=graphical-session.target", "ExecStart=/bin/true" })
        EXPECT_TRUE(lines.contains(QLatin1String(line))) << line;
    for (const char *key : { "RestartSec=", "StartLimitIntervalSec=", "StartLimitBurst=" })
        EXPECT_EQ(
            lines.filter(QRegularExpression(QStringLiteral("^%1[1-9]").arg(QLatin1String(key))))
                .size(),
            1)
            << key;
    // A second start that hands over to the running instance exits 0, which must not count
    // as a failure to restart after.
    EXPECT_TRUE(lines.filter(QStringLiteral("SuccessExitStatus")).isEmpty());
    EXPECT_TRUE(lines.filter(QStringLiteral("RestartForceExitStatus")).isEmpty());
}

// The real unit under a running user manager: enabled, it restarts Corvane killed with
// SIGKILL within 5 s; disabled, it leaves it dead.
TEST_F(LoginItemTest, RealUnitRestartsAKilledCorvaneOnlyWhileEnabled)
{
    qputenv("PATH", m_previousPath);
    QProcess probe;
    probe.start(QStringLiteral("systemctl"),
        { QStringLiteral("--user"), QStringLiteral("show-environment") });
    if (!probe.waitForFinished(5000) || probe.exitStatus() != QProcess::NormalExit
        || probe.exitCode() != 0)
        GTEST_SKIP() << "No systemd user manager answers systemctl --user here; the real unit "
                        "is not tried.";
    if (!qEnvironmentVariableIsSet("DISPLAY"))
        GTEST_SKIP() << "No X server in DISPLAY for the real unit to start Corvane on.";
    const QString unitName = QLatin1String(LoginItem::unitName);
    if (systemctl("show --property=LoadState --value", unitName) == u"loaded")
        GTEST_SKIP() << "A com.ferrowen.corvane.service is installed for this user; the test "
                        "does not replace it.";
    ASSERT_TRUE(QFile::exists(QStringLiteral(CORVANE_EXECUTABLE))) << "build corvane first";

    // The started Corvane keeps to this test's folders and X server.
    for (const char *folder : { "data", "config", "runtime", "cache" })
        ASSERT_TRUE(QDir().mkpath(path(QLatin1String(folder))));
    QFile::setPermissions(
        path(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString execStart
        = QStringLiteral("/usr/bin/env DISPLAY=%1 QT_QPA_PLATFORM=xcb "
                         "QT_QUICK_BACKEND=software XDG_DATA_HOME=%2 "
                         "XDG_CONFIG_HOME=%3 XDG_RUNTIME_DIR=%4 "
                         "XDG_CACHE_HOME=%5 %6")
              .arg(qEnvironmentVariable("DISPLAY"), path(QStringLiteral("data")),
                  path(QStringLiteral("config")), path(QStringLiteral("runtime")),
                  path(QStringLiteral("cache")), QStringLiteral(CORVANE_EXECUTABLE));
    const QString unit = test::writeFile(path(unitName), unitText(execStart).toUtf8());
    systemctl("link", unit);
    const auto mainPID
        = [&] { return systemctl("show --property=MainPID --value", unitName).toLongLong(); };
    const auto waitForPID = [&](auto accept, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        qlonglong pid = mainPID();
        while (!accept(pid) && std::chrono::steady_clock::now() < deadline) {
            QThread::msleep(100);
            pid = mainPID();
        }
        return pid;
    };

    LoginItem::Environment environment = this->environment();
    LoginItem item(environment);
    EXPECT_TRUE(item.isAvailable());
    item.apply(LoginItem::State { true, true });
    EXPECT_EQ(item.state(), (LoginItem::State { true, true }));
    systemctl("start", unitName);
    const qlonglong first = waitForPID([](qlonglong pid) { return pid > 0; }, 5s);
    ASSERT_GT(first, 0);

    ::kill(pid_t(first), SIGKILL);
    const qlonglong second = waitForPID([&](qlonglong pid) { return pid > 0 && pid != first; }, 5s);
    EXPECT_GT(second, 0);
    EXPECT_NE(second, first);

    item.apply(LoginItem::State { false, false });
    EXPECT_EQ(item.state(), (LoginItem::State { false, false }));
    if (second > 0)
        ::kill(pid_t(second), SIGKILL);
    QThread::sleep(4);
    EXPECT_EQ(mainPID(), 0);

    systemctl("stop", unitName);
    systemctl("disable", unitName);
    systemctl("daemon-reload");
}

} // namespace
} // namespace corvane
