#pragma once

// The real executable on the X server with private data, settings and runtime folders, and the
// processes a test starts beside it in the same environment.

#include "eventloopwait.h"
#include "store/clipstore.h"
#include "store/sqlitedatabase.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <memory>

namespace corvane::test {

using namespace std::chrono_literals;

class RunningApplicationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        for (const char *name : { "data", "config", "runtime" })
            ASSERT_TRUE(QDir(m_folder.path()).mkpath(QString::fromLatin1(name)));
        QFile::setPermissions(
            folder("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void TearDown() override
    {
        for (auto &process : m_instances) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(10000)) {
                    process->kill();
                    process->waitForFinished(10000);
                }
            }
            // What the application logged explains a failure on a machine no one watched.
            if (HasFailure())
                std::cerr << "--- " << qPrintable(process->program()) << " logged:\n"
                          << process->readAllStandardError().toStdString() << std::flush;
        }
    }

    QString folder(const char *name) const
    {
        return QDir(m_folder.path()).filePath(QString::fromLatin1(name));
    }
    QString storeDirectory() const
    {
        return QDir(folder("data")).filePath(QStringLiteral("Corvane"));
    }
    QString historyFile() const
    {
        return QDir(storeDirectory()).filePath(QStringLiteral("history.sqlite"));
    }
    // A path in the test's own folder, for files the test makes.
    QString scratchPath(const QString &name) const { return QDir(m_folder.path()).filePath(name); }

    // The settings file the application reads at its start.
    void writeSettings(const QByteArray &ini)
    {
        writeFile(QDir(folder("config")).filePath(QStringLiteral("Corvane/Corvane.conf")), ini);
    }

    // What SQLite's integrity check says of a database file ("ok" when it is sound).
    static QString integrityOf(const QString &databasePath)
    {
        SQLiteDatabase database(databasePath);
        const auto rows = database.query(QStringLiteral("PRAGMA integrity_check"));
        return rows.empty() ? QString() : *textValue(rows[0], QStringLiteral("integrity_check"));
    }

    // Dismisses the alert of an application that could not open its history, waits for the
    // application to end with status 1 and answers what it logged. The alert is a window of
    // its own; bare Xvfb has no window manager, so the window is given the focus directly.
    QString dismissAlert(QProcess &instance)
    {
        QProcess search;
        search.start(QStringLiteral("xdotool"),
            QStringLiteral("search --sync --onlyvisible --pid %1 --name Corvane")
                .arg(instance.processId())
                .split(u' '));
        const QByteArray window = search.waitForFinished(30000)
            ? search.readAllStandardOutput().split('\n').value(0)
            : QByteArray();
        if (window.isEmpty()) {
            ADD_FAILURE() << "the alert window did not appear";
            return {};
        }
        EXPECT_EQ(instance.state(), QProcess::Running);
        QProcess::execute(QStringLiteral("xdotool"),
            { QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromLatin1(window),
                QStringLiteral("key"), QStringLiteral("Return") });
        EXPECT_TRUE(instance.waitForFinished(30000));
        EXPECT_EQ(instance.exitCode(), 1);
        return QString::fromUtf8(instance.readAllStandardError());
    }

    // The environment of every process the test starts: its own folders, on X11.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), folder("data"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder("config"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder("runtime"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        for (const auto &[name, value] : m_extraEnvironment) {
            if (value.isNull())
                environment.remove(name);
            else
                environment.insert(name, value);
        }
        return environment;
    }

    // Starts a program in that environment; it is ended with the test.
    QProcess &startProcess(const QString &program, const QStringList &arguments)
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment());
        process->start(program, arguments);
        EXPECT_TRUE(process->waitForStarted(10000));
        m_instances.push_back(std::move(process));
        return *m_instances.back();
    }

    // Where the running application listens for later starts.
    QString instanceSocket() const
    {
        return QDir(folder("runtime")).filePath(QStringLiteral("com.ferrowen.corvane.instance"));
    }

    // Starts the application; with waitUntilRunning, waits until it listens for later starts.
    QProcess &startInstance(bool waitUntilRunning = true)
    {
        QProcess &process = m_launcher.isEmpty()
            ? startProcess(QStringLiteral(CORVANE_EXECUTABLE), {})
            : startProcess(
                m_launcher.first(), m_launcher.mid(1) << QStringLiteral(CORVANE_EXECUTABLE));
        if (waitUntilRunning) {
            const qint64 pid = process.processId();
            EXPECT_TRUE(spinUntil(
                [&] { return QFile::exists(instanceSocket()) && lockHolder() == pid; }, 30s));
        }
        return process;
    }

    // The process the instance lock names on its first line; 0 when there is no lock.
    qint64 lockHolder() const
    {
        return fileContents(
            QDir(folder("runtime")).filePath(QStringLiteral("com.ferrowen.corvane.lock")))
            .split('\n')
            .value(0)
            .toLongLong();
    }

    ClipStore &store()
    {
        if (!m_store)
            m_store = std::make_unique<ClipStore>(storeDirectory());
        return *m_store;
    }

    // The history's items, newest first, once the condition holds for them (or after 10 s).
    std::vector<ClipItem> itemsOnceThey(
        const std::function<bool(const std::vector<ClipItem> &)> &hold)
    {
        std::vector<ClipItem> items;
        spinUntil(
            [&] {
                items = store().items(ClipStore::Filter { .limit = 100 });
                return hold(items);
            },
            10s);
        return items;
    }

    std::vector<ClipItem> itemsOnceTopIs(const QString &title)
    {
        return itemsOnceThey(
            [&](const auto &items) { return !items.empty() && items.front().title == title; });
    }

    static QStringList titlesOf(const std::vector<ClipItem> &items)
    {
        QStringList titles;
        for (const ClipItem &item : items)
            titles << item.title;
        return titles;
    }

    QTemporaryDir m_folder;
    // Set before startInstance, for the processes it starts; a null value removes a variable.
    std::map<QString, QString> m_extraEnvironment;
    // A program and its arguments that run the executable in place (exec), if set.
    QStringList m_launcher;
    // The application's instances and the other processes the test started.
    std::vector<std::unique_ptr<QProcess>> m_instances;
    std::unique_ptr<ClipStore> m_store;
};

} // namespace corvane::test
