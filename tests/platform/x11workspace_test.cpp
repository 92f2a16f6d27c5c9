#include "capture/clipboardownerprocess.h"
#include "platform/x11/clipboardxlib.h"
#include "platform/x11/desktopentries.h"
#include "platform/x11/x11workspace.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>
#include <ostream>

namespace corvane {

void PrintTo(const RunningApplication &application, std::ostream *out)
{
    *out << '{' << application.bundleIdentifier.value_or(QStringLiteral("-")).toStdString() << ", "
         << application.localizedName.value_or(QStringLiteral("-")).toStdString() << '}';
}

namespace {

// The application's names, once its active window has been named too.
std::optional<RunningApplication> identity(std::optional<RunningApplication> application)
{
    if (!application)
        return application;
    EXPECT_TRUE(application->windowID.has_value());
    application->windowID.reset();
    return application;
}

class DesktopEntriesTest : public test::TemporaryFolderTest
{
protected:
    void SetUp() override
    {
        TemporaryFolderTest::SetUp();
        ASSERT_TRUE(QDir(path()).mkpath(QStringLiteral("high/kde")));
        ASSERT_TRUE(QDir(path()).mkpath(QStringLiteral("low")));
    }

    void writeEntry(const QString &relativePath, const QByteArray &contents)
    {
        test::writeFile(path(relativePath), contents);
    }

    QStringList folders() const
    {
        return { path(QStringLiteral("high")), path(QStringLiteral("low")) };
    }
};

TEST_F(DesktopEntriesTest, MatchesWindowsByClassIdOrExecutableWithEarlierFoldersWinning)
{
    writeEntry(QStringLiteral("high/org.example.Editor.desktop"),
        "[Desktop Entry]\nType=Application\nName=Editor\nStartupWMClass=editor-main\n"
        "Exec=/opt/editor/bin/editor %F\n[Desktop Action new]\nName=New Window\n");
    writeEntry(QStringLiteral("low/org.example.Editor.desktop"),
        "[Desktop Entry]\nType=Application\nName=Old Editor\n");
    writeEntry(QStringLiteral("high/kde/konsole.desktop"),
        "# comment\n[Desktop Entry]\nType=Application\nName=Konsole\nExec=env A=1 konsole\n");
    writeEntry(QStringLiteral("high/gone.desktop"),
        "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n");
    writeEntry(
        QStringLiteral("low/gone.desktop"), "[Desktop Entry]\nType=Application\nName=Gone\n");
    writeEntry(QStringLiteral("low/link.desktop"), "[Desktop Entry]\nType=Link\nName=Link\n");

    DesktopEntries entries(folders());
    QStringList ids;
    for (const DesktopEntry &entry : entries.entries())
        ids.append(entry.id);
    ids.sort();
    EXPECT_EQ(
        ids, (QStringList { QStringLiteral("kde-konsole"), QStringLiteral("org.example.Editor") }));

    const struct
    {
        const char *instance;
        const char *windowClass;
        const char *executable;
        const char *id; // nullptr: no match
    } cases[] = {
        { "editor-main", "Editor-main", "", "org.example.Editor" },
        { "", "EDITOR-MAIN", "", "org.example.Editor" },
        { "x", "org.example.editor", "", "org.example.Editor" },
        { "editor", "Editor", "", "org.example.Editor" },
        { "", "", "editor", "org.example.Editor" },
        { "", "", "konsole", "kde-konsole" },
        { "kde-konsole", "", "", "kde-konsole" },
        { "gone", "Gone", "", nullptr },
        { "unknown", "Unknown", "unknown", nullptr },
        { "", "", "", nullptr },
    };
    for (const auto &c : cases) {
        const auto match = entries.match(QString::fromUtf8(c.instance),
            QString::fromUtf8(c.windowClass), QString::fromUtf8(c.executable));
        if (c.id) {
            ASSERT_TRUE(match) << c.windowClass;
            EXPECT_EQ(match->id, QString::fromUtf8(c.id)) << c.windowClass;
        } else {
            EXPECT_FALSE(match) << c.windowClass;
        }
    }
    EXPECT_EQ(entries.match({}, QStringLiteral("editor-main"), {})->name, QStringLiteral("Editor"));

    // An application installed later is found once its folder changed.
    QThread::msleep(20);
    writeEntry(QStringLiteral("low/org.example.Later.desktop"),
        "[Desktop Entry]\nType=Application\nName=Later\n");
    EXPECT_EQ(entries.match({}, QStringLiteral("Later"), {})->name, QStringLiteral("Later"));
}

TEST_F(DesktopEntriesTest, StandardFoldersFollowTheXdgVariables)
{
    qputenv("XDG_DATA_HOME", "/home/u/.data");
    qputenv("XDG_DATA_DIRS", "/a:/b:");
    EXPECT_EQ(DesktopEntries::standardApplicationFolders(),
        (QStringList { QStringLiteral("/home/u/.data/applications"),
            QStringLiteral("/a/applications"), QStringLiteral("/b/applications") }));
    qunsetenv("XDG_DATA_DIRS");
    EXPECT_EQ(DesktopEntries::standardApplicationFolders().mid(1),
        (QStringList { QStringLiteral("/usr/local/share/applications"),
            QStringLiteral("/usr/share/applications") }));
}

TEST_F(DesktopEntriesTest, TheFrontmostApplicationIsTheActiveWindowsDesktopEntry)
{
    writeEntry(QStringLiteral("high/org.example.Editor.desktop"),
        "[Desktop Entry]\nType=Application\nName=Editor\nStartupWMClass=editor-main\n");
    X11Workspace workspace(xlib::applicationDisplayName(), folders());

    test::ClipboardOwnerProcess window({});
    ASSERT_TRUE(window.waitUntilReady());
    ASSERT_TRUE(window.activate(QStringLiteral("editor-main"), QStringLiteral("Editor-main")));
    EXPECT_EQ(identity(workspace.frontmostApplication()),
        (RunningApplication { QStringLiteral("org.example.Editor"), QStringLiteral("Editor") }));

    // No entry: the window class names it.
    ASSERT_TRUE(window.activate(QStringLiteral("scratch"), QStringLiteral("Scratch")));
    EXPECT_EQ(identity(workspace.frontmostApplication()),
        (RunningApplication { QStringLiteral("Scratch"), QStringLiteral("Scratch") }));

    // An entry that runs the window's executable (found through _NET_WM_PID).
    QThread::msleep(20);
    writeEntry(QStringLiteral("low/org.example.Owner.desktop"),
        "[Desktop Entry]\nType=Application\nName=Owner\nExec=/somewhere/clipboardowner --x\n");
    EXPECT_EQ(identity(workspace.frontmostApplication()),
        (RunningApplication { QStringLiteral("org.example.Owner"), QStringLiteral("Owner") }));

    // The active window is gone: nothing, and no X error ends the process.
    window.exit();
    EXPECT_EQ(workspace.frontmostApplication(), std::nullopt);
}

} // namespace
} // namespace corvane
