#include "candidates.h"
#include "clipboardtesttools.h"
#include "eventloopwait.h"
#include "expansion/textexpander.h"
#include "panel/historymodel.h"
#include "preferences/preferences.h"
#include "settingsfixture.h"
#include "store/clipstore.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QQuickWindow>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>
#include <string>

namespace corvane {
namespace {

using test::spinUntil;
using namespace std::chrono_literals;

enum Pane { general, privacy, history, expansion, aiTools, about };

class SettingsWindowTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(f.open(QSize(620, 1500))); }

    QQuickItem *item(const char *name)
    {
        QQuickItem *found = f.find(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    bool isEnabled(const char *name) { return item(name)->isEnabled(); }
    QString text(const char *name) { return item(name)->property("text").toString(); }
    Preferences &prefs() { return f.services->preferences(); }

    test::SettingsFixture f;
};

TEST_F(SettingsWindowTest, ShortcutRecorderTakesModifiedKeysAndWarnsOfOnesHeldElsewhere)
{
    const HotkeyCombination shiftA { 0, HotkeyCombination::shift };
    f.click(item("shortcutRecorder"));
    // A bare key beeps and keeps recording; a modifier alone is waited through.
    f.key(Qt::Key_B);
    EXPECT_EQ(f.beeps, 1);
    f.key(Qt::Key_Shift, Qt::ShiftModifier);
    f.key(Qt::Key_A, Qt::ShiftModifier);
    EXPECT_EQ(prefs().hotkey(), shiftA);
    EXPECT_TRUE(f.settingsFile().contains(QStringLiteral("hotkey=0:512")));
    EXPECT_TRUE(f.hotkeys.press(shiftA));
    EXPECT_FALSE(f.hotkeys.press(defaultHotkeyCombination));
    EXPECT_FALSE(item("shortcutRecorder")->property("isRecording").toBool());
    EXPECT_TRUE(isEnabled("resetShortcut"));

    // Escape ends recording with nothing changed.
    f.click(item("shortcutRecorder"));
    f.key(Qt::Key_Escape);
    EXPECT_FALSE(item("shortcutRecorder")->property("isRecording").toBool());
    EXPECT_EQ(prefs().hotkey(), shiftA);
    EXPECT_EQ(f.beeps, 1);

    // A shortcut held elsewhere warns until it is reset to the default.
    const HotkeyCombination ctrlAltK { 40, HotkeyCombination::control | HotkeyCombination::option };
    f.hotkeys.holdElsewhere(ctrlAltK);
    EXPECT_FALSE(item("hotkeyWarning")->isVisible());
    f.click(item("shortcutRecorder"));
    f.key(Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(prefs().hotkey(), ctrlAltK);
    EXPECT_TRUE(item("hotkeyWarning")->isVisible());
    EXPECT_EQ(text("hotkeyWarning"), QStringLiteral("Another app is already using this shortcut"));

    f.click(item("resetShortcut"));
    EXPECT_EQ(prefs().hotkey(), defaultHotkeyCombination);
    EXPECT_FALSE(item("hotkeyWarning")->isVisible());
    EXPECT_TRUE(f.hotkeys.press(defaultHotkeyCombination));
    EXPECT_FALSE(isEnabled("resetShortcut"));
}

TEST_F(SettingsWindowTest, TrayAndTaskBarTogglesAlwaysKeepOneOn)
{
    // Only the tray: it cannot be switched off.
    EXPECT_FALSE(isEnabled("showsTrayIcon"));
    EXPECT_TRUE(isEnabled("showsTaskbarEntry"));
    EXPECT_FALSE(f.taskbar->isShown());

    f.click(item("showsTaskbarEntrySwitch"));
    EXPECT_TRUE(prefs().showsDockIcon());
    EXPECT_TRUE(f.taskbar->isShown());
    EXPECT_TRUE(isEnabled("showsTrayIcon"));

    f.click(item("showsTrayIconSwitch"));
    EXPECT_FALSE(prefs().showsMenuBarIcon());
    EXPECT_FALSE(f.tray->icon()->isVisible());
    EXPECT_FALSE(isEnabled("showsTaskbarEntry"));
    EXPECT_FALSE(isEnabled("recentCount"));
    EXPECT_TRUE(f.settingsFile().contains(QStringLiteral("showsMenuBarIcon=false")));
    EXPECT_TRUE(f.settingsFile().contains(QStringLiteral("showsDockIcon=true")));
}

TEST_F(SettingsWindowTest, GeneralSwitchesWriteTheirSettings)
{
    const struct
    {
        const char *name;
        bool (Preferences::*read)() const;
    } switches[] = {
        { "pastesOnSelect", &Preferences::pastesOnSelect },
        { "pastesPlainText", &Preferences::pastesPlainText },
        { "capturesImages", &Preferences::capturesImages },
        { "keepsClipboardAlive", &Preferences::keepsClipboardAlive },
    };
    for (const auto &toggle : switches) {
        SCOPED_TRACE(toggle.name);
        const bool before = (prefs().*toggle.read)();
        f.click(item((std::string(toggle.name) + "Switch").c_str()));
        EXPECT_EQ((prefs().*toggle.read)(), !before);
        EXPECT_TRUE(f.settingsFile().contains(QString::fromLatin1(toggle.name) + QLatin1Char('=')
            + QLatin1String(before ? "false" : "true")));
    }
}

TEST_F(SettingsWindowTest, OpenAtLoginWritesTheAutostartEntryAndBeepsWhenItCannot)
{
    // Without a user manager there is no crash recovery to offer.
    EXPECT_FALSE(item("reopensAfterCrash")->isVisible());
    // A file where the autostart folder should be: the change is refused.
    QFile blocker(f.autostartFolder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    f.click(item("opensAtLoginSwitch"));
    EXPECT_EQ(f.beeps, 1);
    EXPECT_FALSE(item("opensAtLoginSwitch")->property("checked").toBool());
    EXPECT_FALSE(prefs().launchesAtLogin());

    ASSERT_TRUE(QFile::remove(f.autostartFolder()));
    f.click(item("opensAtLoginSwitch"));
    EXPECT_EQ(f.beeps, 1);
    EXPECT_TRUE(
        QFile::exists(f.autostartFolder() + QStringLiteral("/com.ferrowen.corvane.desktop")));
    EXPECT_TRUE(item("opensAtLoginSwitch")->property("checked").toBool());
    EXPECT_TRUE(f.settingsFile().contains(QStringLiteral("launchesAtLogin=true")));
}

TEST_F(SettingsWindowTest, PrefixAndAliasesReconfigureExpansionAtOnce)
{
    f.showPane(expansion);
    f.click(item("expandsSnippetsSwitch"));
    ASSERT_TRUE(f.services->expander().isRunning());
    f.click(item("prefixField"));
    f.key(Qt::Key_A, Qt::ControlModifier);
    f.type(QStringLiteral(";;"));
    f.key(Qt::Key_Return);
    EXPECT_EQ(prefs().expansionPrefix(), QStringLiteral(";;"));
    EXPECT_EQ(Preferences(prefs().settingsPath()).expansionPrefix(), QStringLiteral(";;"));

    const struct
    {
        const char *alias;
        const char *emoji;
        const char *error;
    } refusals[] = {
        { "two words", "tada", "An alias cannot contain spaces." },
        { "party", "nosuchemojiname",
            "That is not an emoji. Use the ☺ button, or type a name like “tada”." },
    };
    for (const auto &refusal : refusals) {
        SCOPED_TRACE(refusal.alias);
        item("aliasField")->setProperty("text", QString::fromUtf8(refusal.alias));
        item("emojiField")->setProperty("text", QString::fromUtf8(refusal.emoji));
        f.click(item("addAlias"));
        EXPECT_EQ(text("aliasError"), QString::fromUtf8(refusal.error));
        EXPECT_TRUE(prefs().emojiAliases().isEmpty());
    }

    item("aliasField")->setProperty("text", QStringLiteral(" Party "));
    item("emojiField")->setProperty("text", QStringLiteral("party_popper"));
    f.click(item("addAlias"));
    EXPECT_FALSE(item("aliasError")->isVisible());
    EXPECT_EQ(prefs().emojiAliases().value(QStringLiteral("party")), QStringLiteral("🎉"));
    EXPECT_TRUE(text("aliasField").isEmpty());

    // The new prefix and the alias expand as the user types.
    f.click(item("expandsEmojiSwitch"));
    ASSERT_NE(f.tap, nullptr);
    f.tap->type(QStringLiteral(";;party "));
    EXPECT_TRUE(spinUntil([&] { return f.synthesizer->typedText().contains(u"🎉"); }, 2s));
}

TEST_F(SettingsWindowTest, SmallerItemLimitPrunesAtOnceAndKeepsPinboardItems)
{
    const ClipItem pinned = f.addText(QStringLiteral("pinned"), 10000);
    f.services->store().addItem(
        f.services->store().createPinboard(QStringLiteral("Keep")).id, pinned.id);
    for (int index = 0; index < 505; ++index)
        f.addText(QStringLiteral("item %1").arg(index), 505 - index);
    f.showPane(history);
    EXPECT_EQ(text("statistics").section(QLatin1Char(' '), 0, 0), QStringLiteral("506"));

    f.click(item("itemLimitBox"));
    f.key(Qt::Key_Down);
    f.key(Qt::Key_Return);
    EXPECT_EQ(prefs().itemLimit(), 500);
    EXPECT_TRUE(f.settingsFile().contains(QStringLiteral("itemLimit=500")));
    EXPECT_EQ(f.services->store().statistics().itemCount, 501);
    EXPECT_TRUE(f.services->store().item(pinned.id).has_value());
    EXPECT_EQ(text("statistics").section(QLatin1Char(' '), 0, 0), QStringLiteral("501"));

    // Turning off reading words in images forgets the words read.
    const auto image = f.services->store().record(
        test::imageCandidate("png bytes"), 0, 0, ClipStore::payloadCapBytes);
    ASSERT_TRUE(image);
    ASSERT_TRUE(f.services->store().setRecognizedText(image->id, QStringLiteral("receipt")));
    f.click(item("recognizesTextInImagesSwitch"));
    EXPECT_FALSE(prefs().recognizesTextInImages());
    EXPECT_TRUE(f.settingsFile().contains(QStringLiteral("recognizesTextInImages=false")));
    EXPECT_EQ(f.services->store().recognizedText(image->id), std::nullopt);
}

TEST_F(SettingsWindowTest, IgnoreListShowsInstalledApplicationsCountsTheOthersAndAddsChosenOnes)
{
    f.install(QStringLiteral("org.example.Editor"), QStringLiteral("Editor"));
    f.install(QStringLiteral("org.example.Notes"), QStringLiteral("Notes"));
    prefs().setIgnoredBundleIDs({ QStringLiteral("org.example.Editor"),
        QStringLiteral("com.missing.One"), QStringLiteral("com.missing.Two") });
    f.showPane(privacy);
    EXPECT_TRUE(item("ignoredAppsList")->property("visible").toBool());
    const QString caption
        = QStringLiteral("2 more apps are on the list but not installed. They stay covered if you "
                         "install them later.");
    EXPECT_EQ(text("ignoredAppsCaption"), caption);

    f.click(item("ignoredAppsAdd"));
    f.type(QStringLiteral("Notes"));
    auto *list = item("ignoredAppsChooserList");
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(spinUntil([&] { return list->property("count").toInt() == 1; }));
    QQuickItem *row = nullptr;
    QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, row), Q_ARG(int, 0));
    ASSERT_NE(row, nullptr);
    f.click(row);
    f.click(item("ignoredAppsChooserConfirm"));
    EXPECT_EQ(prefs().ignoredBundleIDs(),
        QStringList({ QStringLiteral("org.example.Editor"), QStringLiteral("com.missing.One"),
            QStringLiteral("com.missing.Two"), QStringLiteral("org.example.Notes") }));
    EXPECT_EQ(text("ignoredAppsCaption"), caption);
}

TEST_F(SettingsWindowTest, CopiedCodexSnippetReachesTheClipboardWithoutAHistoryRow)
{
    f.showPane(aiTools);
    EXPECT_TRUE(item("locationWarning")->isVisible());
    f.click(item("client3"));
    f.click(item("copySnippet"));
    EXPECT_EQ(text("copySnippet"), QStringLiteral("Copied"));

    EXPECT_EQ(QString::fromUtf8(test::readClipboardWithXclip(QStringLiteral("UTF8_STRING"))),
        QStringLiteral("[mcp_servers.corvane]\ncommand = "
                       "\"/home/ada/Downloads/corvane/bin/corvane\"\nargs = [\"--mcp\"]"));
    // The other clients' snippets name the same executable; the two JSON ones are the same.
    const SettingsActions &actions = f.settings->actions();
    EXPECT_EQ(actions.snippet(0),
        QStringLiteral(
            "claude mcp add corvane -- \"/home/ada/Downloads/corvane/bin/corvane\" --mcp"));
    EXPECT_EQ(actions.snippet(1), actions.snippet(2));
    const QJsonObject server = QJsonDocument::fromJson(actions.snippet(1).toUtf8())
                                   .object()[u"mcpServers"][u"corvane"]
                                   .toObject();
    EXPECT_EQ(
        server[u"command"].toString(), QStringLiteral("/home/ada/Downloads/corvane/bin/corvane"));
    EXPECT_EQ(server[u"args"].toArray(), QJsonArray({ QStringLiteral("--mcp") }));
    EXPECT_EQ(actions.snippet(1).count(u'\n'), 7);

    // Two of the watcher's polls later nothing was recorded.
    test::spinFor(1s);
    EXPECT_EQ(f.services->store().statistics().itemCount, 0);
}

TEST_F(SettingsWindowTest, FeedbackFormOpensFromAboutAndSaysWhenTheBuildCannotSend)
{
    f.showPane(about);
    f.click(item("sendFeedback"));
    QQuickWindow *form = f.feedback->window();
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(spinUntil([&] { return form->isExposed(); }, 5s));
    QQuickItem *message = f.find(QStringLiteral("message"), form);
    QQuickItem *send = f.find(QStringLiteral("send"), form);
    QQuickItem *error = f.find(QStringLiteral("feedbackError"), form);
    ASSERT_TRUE(message && send && error);
    message->setProperty("text", QStringLiteral("The tray menu is lovely"));
    QTest::mouseClick(form, Qt::LeftButton, {},
        send->mapToScene(QPointF(send->width() / 2, send->height() / 2)).toPoint());
    // This build has no support server: nothing goes out and the form says so.
    EXPECT_TRUE(spinUntil([&] { return error->isVisible(); }, 2s));
    EXPECT_EQ(error->property("text").toString(),
        QStringLiteral("Feedback isn't available in this build."));
}

TEST_F(SettingsWindowTest, TrayMenuListsRecentItemsAsWantedAndHeldAndClearsHistoryWhenSure)
{
    const struct
    {
        int requested;
        int held;
        int shown;
    } cases[] = { { 0, 15, 0 }, { 5, 0, 0 }, { 15, 4, 4 }, { 15, 15, 15 } };
    for (const auto &test : cases) {
        SCOPED_TRACE(testing::Message() << test.requested << " of " << test.held);
        f.services->store().clearHistory();
        for (int index = 0; index < test.held; ++index)
            f.addText(
                QStringLiteral("copy %1 ").arg(index) + QString(60, QLatin1Char('x')), 100 - index);
        prefs().setMenuBarRecentCount(test.requested);
        f.services->model().reload();
        const QList<QAction *> recent = f.tray->recentItemActions();
        ASSERT_EQ(recent.size(), test.shown);
        QStringList texts;
        for (QAction *action : f.tray->menu()->actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        const int clear = int(texts.indexOf(QStringLiteral("Clear History")));
        EXPECT_EQ(texts.mid(clear),
            QStringLiteral("Clear History|-|Settings…|Check for Updates…|"
                           "Send Feedback…|-|Quit Corvane")
                .split(u'|'));
        EXPECT_EQ(texts.first(), QStringLiteral("Open Corvane"));
        EXPECT_EQ(clear, test.shown == 0 ? 2 : test.shown + 3);
        if (test.shown > 0) {
            // The newest first, cut to 52 characters and an ellipsis.
            const QString start = QStringLiteral("copy %1 ").arg(test.held - 1);
            EXPECT_EQ(recent.first()->text(),
                QString(start + QString(52 - start.size(), QLatin1Char('x')) + u'…'));
        }
    }
    // Choosing an entry writes its item back for the window that had the focus.
    f.tray->recentItemActions().at(2)->trigger();
    EXPECT_TRUE(spinUntil([] {
        return QGuiApplication::clipboard()->text().startsWith(QStringLiteral("copy 12 "));
    }));

    // Clear History asks first and keeps pinboard items.
    const ClipItem pinned = f.addText(QStringLiteral("pinned"), 1000);
    f.services->store().addItem(
        f.services->store().createPinboard(QStringLiteral("Keep")).id, pinned.id);
    int asked = 0;
    bool answer = false;
    f.tray->confirmClear = [&] {
        ++asked;
        return answer;
    };
    const auto clear = [&] {
        for (QAction *action : f.tray->menu()->actions()) {
            if (action->text() == QStringLiteral("Clear History"))
                action->trigger();
        }
    };
    clear();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(f.services->store().statistics().itemCount, 16);
    answer = true;
    clear();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(f.services->store().statistics().itemCount, 1);
    EXPECT_TRUE(f.services->store().item(pinned.id).has_value());
}

} // namespace
} // namespace corvane
