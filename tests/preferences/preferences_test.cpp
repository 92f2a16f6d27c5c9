#include "logcapture.h"
#include "preferences/preferences.h"
#include "preferencesamples.h"
#include "testsupport.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QMetaProperty>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>

#include <functional>
#include <set>
#include <variant>

namespace corvane {
namespace {

QString show(const QVariant &value)
{
    QString text;
    QDebug(&text) << value;
    return text;
}

// A value as another program would leave it: either literal INI text or a value written
// through QSettings (which keeps maps and one-element lists of other types in binary form).
using Stored = std::variant<const char *, QVariant>;

class PreferencesTest : public test::TemporaryFolderTest
{
protected:
    QString settingsPath() const { return path(QStringLiteral("Corvane/Corvane.conf")); }

    void store(const std::vector<std::pair<const char *, Stored>> &values)
    {
        QString ini = QStringLiteral("[General]\n");
        std::vector<std::pair<const char *, QVariant>> native;
        for (const auto &[key, value] : values) {
            if (const auto *text = std::get_if<const char *>(&value))
                ini += QLatin1String(key) + u'=' + QString::fromUtf8(*text) + u'\n';
            else
                native.emplace_back(key, std::get<QVariant>(value));
        }
        test::writeFile(settingsPath(), ini.toUtf8());
        QSettings settings(settingsPath(), QSettings::IniFormat);
        for (const auto &[key, value] : native)
            settings.setValue(QLatin1String(key), value);
        settings.sync();
        ASSERT_EQ(settings.status(), QSettings::NoError);
    }

    // What the file on disk holds now. QSettings objects of one process share unsaved
    // changes, so the file is read through a copy no QSettings of this process has seen.
    QVariant storedValue(const char *key)
    {
        return QSettings(snapshot(), QSettings::IniFormat).value(QLatin1String(key));
    }
    bool isStored(const char *key)
    {
        return QSettings(snapshot(), QSettings::IniFormat).contains(QLatin1String(key));
    }

    // A fresh load of what is on disk, as the next process would see it.
    std::unique_ptr<Preferences> reload() { return std::make_unique<Preferences>(snapshot()); }

private:
    QString snapshot()
    {
        const QString copy = path(QStringLiteral("snapshot-%1.conf").arg(++m_snapshots));
        if (QFile::exists(settingsPath())) {
            EXPECT_TRUE(QFile::copy(settingsPath(), copy));
        }
        return copy;
    }

    int m_snapshots = 0;
};

void expectDefaults(const Preferences &preferences)
{
    const std::pair<const char *, QVariant> defaults[] = { { "launchesAtLogin", false },
        { "capturesImages", true }, { "fetchesLinkPreviews", true },
        { "keepsClipboardAlive", true }, { "recognizesTextInImages", true },
        { "pastesPlainText", false }, { "pastesOnSelect", true }, { "itemLimit", 0 },
        { "dayLimit", 0 }, { "ignoresSecretLookingText", true },
        { "ignoredBundleIDs", Preferences::defaultIgnoredBundleIDs() },
        { "hotkey", QVariant::fromValue(HotkeyCombination { 9, 768 }) }, { "showsDockIcon", false },
        { "showsMenuBarIcon", true }, { "menuBarRecentCount", 5 },
        { "agentRegisteredBuild", QVariant::fromValue(std::optional<QString>()) },
        { "expandsSnippets", false }, { "expansionPrefix", QStringLiteral("::") },
        { "expansionIgnoredBundleIDs", QStringList() }, { "expandsEmoji", false },
        { "emojiAliases", QVariant::fromValue(Preferences::StringMap()) },
        { "automaticallyChecksForUpdates", false } };
    const QMetaObject &meta = Preferences::staticMetaObject;
    EXPECT_EQ(std::size(defaults), size_t(meta.propertyCount() - meta.propertyOffset()));
    for (const auto &[key, value] : defaults)
        EXPECT_EQ(preferences.property(key), value)
            << key << ": " << qPrintable(show(preferences.property(key)));
}

TEST_F(PreferencesTest, MissingOrEmptyStoreGivesEveryDefaultAndWritesNothing)
{
    {
        Preferences preferences(settingsPath());
        expectDefaults(preferences);
    }
    EXPECT_FALSE(QFile::exists(settingsPath()));
    store({});
    const auto preferences = reload();
    expectDefaults(*preferences);
}

TEST_F(PreferencesTest, DefaultIgnoredApplicationsStartWithTheNineKnownIdentifiers)
{
    const QStringList ids = Preferences::defaultIgnoredBundleIDs();
    const QStringList nine = { QStringLiteral("com.agilebits.onepassword7"),
        QStringLiteral("com.1password.1password"), QStringLiteral("com.apple.keychainaccess"),
        QStringLiteral("com.bitwarden.desktop"), QStringLiteral("com.dashlane.Dashlane"),
        QStringLiteral("com.lastpass.LastPass"), QStringLiteral("in.sinew.Enpass-Desktop"),
        QStringLiteral("org.keepassxc.keepassxc"), QStringLiteral("com.mackeeper.MacKeeper") };
    EXPECT_EQ(ids.mid(0, 9), nine);
    for (const char *linuxID : { "org.keepassxc.KeePassXC", "KeePassXC", "keepassxc",
             "org.gnome.seahorse.Application", "seahorse", "org.kde.kwalletmanager5",
             "kwalletmanager5", "Bitwarden", "1Password", "KeePass2" })
        EXPECT_TRUE(ids.contains(QLatin1String(linuxID))) << linuxID;
    EXPECT_EQ(QSet<QString>(ids.begin(), ids.end()).size(), ids.size()) << "duplicates";
}

TEST_F(PreferencesTest, DefaultLocationIsCorvaneConfUnderTheUserConfigurationFolder)
{
    const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", path().toUtf8());
    EXPECT_EQ(Preferences::defaultSettingsPath(), path(QStringLiteral("Corvane/Corvane.conf")));
    if (wasSet)
        qputenv("XDG_CONFIG_HOME", previous);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

TEST_F(PreferencesTest, WrongTypesFallBackToTheDefaultOfTheirKeyOnly)
{
    using Map = QVariantMap;
    const QStringList defaults = Preferences::defaultIgnoredBundleIDs();
    const HotkeyCombination defaultHotkey { 9, 768 };
    const struct
    {
        const char *key;
        Stored stored;
        QVariant expected;
    } rows[] = {
        { "launchesAtLogin", "1", false },
        { "launchesAtLogin", "YES", false },
        { "launchesAtLogin", "True", false },
        { "capturesImages", "0", true },
        { "capturesImages", "no", true },
        { "capturesImages", QVariant(QStringList { QStringLiteral("false"), QString() }), true },
        { "fetchesLinkPreviews", "", true },
        { "keepsClipboardAlive", "no", true },
        { "pastesOnSelect", QVariant(QByteArray("false")), true },
        { "ignoresSecretLookingText", "@Invalid()", true },
        { "itemLimit", "5.5", 0 },
        { "itemLimit", "+5", 0 },
        { "itemLimit", "0x10", 0 },
        { "itemLimit", "2147483648", 0 },
        { "itemLimit", "-", 0 },
        { "dayLimit", QVariant(2.5), 0 },
        { "dayLimit", "\"7 days\"", 0 },
        { "menuBarRecentCount", "abc", 5 },
        { "menuBarRecentCount", "", 5 },
        { "menuBarRecentCount", "-3", -3 },
        { "ignoredBundleIDs", QVariant(Map { { QStringLiteral("a"), QStringLiteral("b") } }),
            defaults },
        { "ignoredBundleIDs", QVariant(QVariantList { QVariant(5) }), defaults },
        { "ignoredBundleIDs", "@ByteArray(com.example)", defaults },
        { "expansionIgnoredBundleIDs", QVariant(QVariantList { QVariant(true) }), QStringList() },
        // Which texts parse is HotkeyCombination's own test; here one that does not, and the
        // INI form of a list, which is no text.
        { "hotkey", "9:", QVariant::fromValue(defaultHotkey) },
        { "hotkey", "9, 768", QVariant::fromValue(defaultHotkey) },
        { "agentRegisteredBuild", "3, 4", QVariant::fromValue(std::optional<QString>()) },
        { "agentRegisteredBuild", QVariant(QVariantMap()),
            QVariant::fromValue(std::optional<QString>()) },
        { "expansionPrefix", "a, b", QStringLiteral("::") },
        { "emojiAliases",
            QVariant(Map {
                { QStringLiteral("shrug"), QStringLiteral("x") }, { QStringLiteral("n"), 5 } }),
            QVariant::fromValue(Preferences::StringMap()) },
        { "emojiAliases", "shrug", QVariant::fromValue(Preferences::StringMap()) },
        { "emojiAliases", QVariant(QStringList { QStringLiteral("a"), QStringLiteral("b") }),
            QVariant::fromValue(Preferences::StringMap()) },
    };
    for (const auto &row : rows) {
        // A correct value of another setting beside each wrong one must survive it.
        store({ { row.key, row.stored }, { "pastesPlainText", "true" } });
        const auto preferences = reload();
        const QVariant loaded = preferences->property(row.key);
        EXPECT_EQ(loaded, row.expected)
            << row.key << ": " << qPrintable(show(loaded)) << " (stored "
            << (std::holds_alternative<const char *>(row.stored)
                       ? std::get<const char *>(row.stored)
                       : qPrintable(show(std::get<QVariant>(row.stored))))
            << ")";
        EXPECT_TRUE(preferences->pastesPlainText()) << row.key;
    }
}

TEST_F(PreferencesTest, EveryAssignedValueSurvivesARealFileAndAFreshLoad)
{
    for (const test::PreferenceSample &sample : test::preferenceSamples()) {
        QFile::remove(settingsPath());
        {
            Preferences preferences(settingsPath());
            // With the dock icon off, a hidden menu bar icon comes back on at load.
            preferences.setShowsDockIcon(true);
            ASSERT_TRUE(preferences.setProperty(sample.key, sample.value)) << sample.key;
        }
        const auto reloaded = reload();
        EXPECT_EQ(reloaded->property(sample.key), sample.value)
            << sample.key << ": " << qPrintable(show(reloaded->property(sample.key)))
            << " != " << qPrintable(show(sample.value));
    }
}

TEST_F(PreferencesTest, ValuesAreStoredUnderTheirNamesInNativeForms)
{
    Preferences preferences(settingsPath());
    preferences.setHotkey({ 49, 2048 });
    preferences.setItemLimit(2000);
    preferences.setPastesPlainText(true);
    preferences.setIgnoredBundleIDs({ QStringLiteral("a"), QStringLiteral("b") });
    preferences.setEmojiAliases({ { QStringLiteral("shrug"), QStringLiteral("🤷") } });
    // Read without syncing the writer: each assignment must already be on disk.
    EXPECT_EQ(storedValue("hotkey"), QVariant(QStringLiteral("49:2048")));
    EXPECT_EQ(storedValue("itemLimit"), QVariant(QStringLiteral("2000")));
    EXPECT_EQ(storedValue("pastesPlainText"), QVariant(QStringLiteral("true")));
    EXPECT_EQ(storedValue("ignoredBundleIDs"),
        QVariant(QStringList { QStringLiteral("a"), QStringLiteral("b") }));
    EXPECT_EQ(storedValue("emojiAliases"),
        QVariant(QVariantMap { { QStringLiteral("shrug"), QStringLiteral("🤷") } }));
}

TEST_F(PreferencesTest, AFileAnotherProcessKeepsRewritingIsNeverHalfRead)
{
    QProcess writer;
    writer.start(QStringLiteral(CORVANE_PREFERENCES_WRITER),
        { QStringLiteral("churn"), settingsPath(), QStringLiteral("80") });
    ASSERT_TRUE(writer.waitForStarted());
    ASSERT_TRUE(writer.waitForReadyRead(30000)) << "the writer never wrote";

    std::set<int> generations;
    int loads = 0;
    while (writer.state() == QProcess::Running) {
        Preferences preferences(settingsPath());
        const int generation = preferences.itemLimit();
        ++loads;
        generations.insert(generation);
        ASSERT_GT(generation, 0);
        ASSERT_EQ(preferences.dayLimit(), generation);
        const QStringList names = preferences.expansionIgnoredBundleIDs();
        ASSERT_EQ(names.size(), 1000) << "generation " << generation;
        ASSERT_EQ(names.first(), QStringLiteral("g%1-0").arg(generation));
        ASSERT_EQ(names.last(), QStringLiteral("g%1-999").arg(generation));
        writer.waitForReadyRead(0);
    }
    writer.waitForFinished();
    ASSERT_EQ(writer.exitCode(), 0);
    // Loads that all saw one generation would prove nothing about concurrent writes.
    EXPECT_GE(generations.size(), 3u) << loads << " loads";
}

TEST_F(PreferencesTest, ExpansionPrefixLosesWhitespaceAndKeepsEightCharacters)
{
    const struct
    {
        const char *given;
        const char *normalized;
    } rows[] = {
        { " ; ; ", ";;" },
        { "\t:\n:\r ", "::" },
        { "a b\u00a0c\u3000d", "abcd" },
        { "abcdefghij", "abcdefgh" },
        { "12345678", "12345678" },
        { "👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽",
            "👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽" },
        { "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301",
            "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301" },
        { "     ", "::" },
        { "", "::" },
        { "::", "::" },
    };
    for (const auto &row : rows) {
        const QString given = QString::fromUtf8(row.given);
        const QString normalized = QString::fromUtf8(row.normalized);
        EXPECT_EQ(Preferences::normalizedExpansionPrefix(given), normalized) << row.given;

        QFile::remove(settingsPath());
        {
            Preferences preferences(settingsPath());
            preferences.setExpansionPrefix(given);
            EXPECT_EQ(preferences.expansionPrefix(), normalized) << row.given;
            EXPECT_EQ(storedValue("expansionPrefix"), QVariant(normalized)) << row.given;
        }
        // Another writer may leave it unnormalised; loading normalises it.
        QSettings(settingsPath(), QSettings::IniFormat)
            .setValue(QStringLiteral("expansionPrefix"), given);
        EXPECT_EQ(reload()->expansionPrefix(), normalized) << row.given;
    }

    // A prefix equal to the current one once normalised does not notify.
    Preferences preferences(settingsPath());
    QSignalSpy spy(&preferences, &Preferences::expansionPrefixChanged);
    preferences.setExpansionPrefix(QStringLiteral(" : : "));
    EXPECT_EQ(spy.count(), 0);
    preferences.setExpansionPrefix(QStringLiteral(";;"));
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(PreferencesTest, MenuBarIconIsForcedOnAtLoadOnlyWhenTheDockIconIsOff)
{
    const struct
    {
        const char *menuBar; // nullptr: absent
        const char *dock;
        bool shown;
    } rows[] = {
        { "false", "false", true },
        { "false", nullptr, true },
        { "false", "true", false },
        { "true", "true", true },
        { nullptr, "true", true },
        { "junk", "true", true },
        { "true", "false", true },
    };
    for (const auto &row : rows) {
        std::vector<std::pair<const char *, Stored>> values;
        if (row.menuBar)
            values.emplace_back("showsMenuBarIcon", row.menuBar);
        if (row.dock)
            values.emplace_back("showsDockIcon", row.dock);
        store(values);
        EXPECT_EQ(reload()->showsMenuBarIcon(), row.shown)
            << (row.menuBar ? row.menuBar : "absent") << " / " << (row.dock ? row.dock : "absent");
    }

    // Assignments are not coupled: both can be off until the next load.
    QFile::remove(settingsPath());
    Preferences preferences(settingsPath());
    preferences.setShowsMenuBarIcon(false);
    EXPECT_FALSE(preferences.showsMenuBarIcon());
    EXPECT_FALSE(preferences.showsDockIcon());
    EXPECT_EQ(storedValue("showsMenuBarIcon"), QVariant(QStringLiteral("false")));
    EXPECT_TRUE(reload()->showsMenuBarIcon());
}

TEST_F(PreferencesTest, OnlyChangedValuesNotifyButEveryAssignmentIsWritten)
{
    const std::vector<test::PreferenceSample> samples = test::preferenceSamples();
    const QMetaObject &meta = Preferences::staticMetaObject;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        const QMetaProperty property = meta.property(i);
        const char *key = property.name();
        SCOPED_TRACE(key);
        QFile::remove(settingsPath());
        Preferences preferences(settingsPath());
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        for (int j = meta.propertyOffset(); j < meta.propertyCount(); ++j)
            spies.push_back(
                std::make_unique<QSignalSpy>(&preferences, meta.property(j).notifySignal()));
        QSignalSpy &spy = *spies[size_t(i - meta.propertyOffset())];

        // The default again: no notification, but the key is in the file afterwards
        // (except the absent build, which is stored as no key).
        ASSERT_TRUE(preferences.setProperty(key, preferences.property(key)));
        EXPECT_EQ(spy.count(), 0);
        EXPECT_EQ(isStored(key), qstrcmp(key, "agentRegisteredBuild") != 0);

        QVariant other;
        for (const test::PreferenceSample &sample : samples) {
            if (qstrcmp(sample.key, key) == 0 && sample.value != preferences.property(key))
                other = sample.value;
        }
        ASSERT_TRUE(other.isValid()) << "no sample differs from the default";
        ASSERT_TRUE(preferences.setProperty(key, other));
        EXPECT_EQ(spy.count(), 1);
        ASSERT_TRUE(preferences.setProperty(key, other));
        EXPECT_EQ(spy.count(), 1);
        for (const auto &anySpy : spies) {
            EXPECT_EQ(anySpy->count(), anySpy.get() == &spy ? 1 : 0);
        }

        // Equal values still reach the file, even when another writer changed it since.
        QSettings(settingsPath(), QSettings::IniFormat).remove(QLatin1String(key));
        ASSERT_TRUE(preferences.setProperty(key, other));
        EXPECT_EQ(spy.count(), 1);
        EXPECT_TRUE(isStored(key));
    }
}

TEST_F(PreferencesTest, AssigningNoAgentBuildRemovesTheKey)
{
    Preferences preferences(settingsPath());
    QSignalSpy spy(&preferences, &Preferences::agentRegisteredBuildChanged);
    preferences.setAgentRegisteredBuild(QStringLiteral("7"));
    EXPECT_TRUE(isStored("agentRegisteredBuild"));
    preferences.setAgentRegisteredBuild(std::nullopt);
    EXPECT_FALSE(isStored("agentRegisteredBuild"));
    EXPECT_EQ(spy.count(), 2);
    EXPECT_FALSE(reload()->agentRegisteredBuild().has_value());
}

// The settings file broken by something else while the application runs: the values in use
// stay in use, a write that cannot be saved says so, and the next write once the file can
// be written again saves every value. A file that cannot be parsed is kept aside and
// written anew at once.
TEST_F(PreferencesTest, ASettingsFileBrokenWhileRunningIsWrittenWholeOnceItCanBe)
{
    const struct
    {
        const char *name;
        std::function<void(const QString &)> breakFile;
        std::function<void(const QString &)> repair;
    } rows[] = {
        { "overwritten with binary garbage",
            [](const QString &file) {
                test::writeFile(file, QByteArray("\0\xff[General\nitemLimit=\x01\x02\n\0", 20));
            },
            [](const QString &) {} },
        { "replaced by a folder",
            [](const QString &file) {
                ASSERT_TRUE(QFile::remove(file));
                ASSERT_TRUE(QDir().mkpath(file + QStringLiteral("/in the way")));
            },
            [](const QString &file) { ASSERT_TRUE(QDir(file).removeRecursively()); } },
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(settingsPath());
        Preferences preferences(settingsPath());
        preferences.setItemLimit(300);
        row.breakFile(settingsPath());
        {
            test::LogCapture log("com.ferrowen.corvane.preferences");
            preferences.setDayLimit(20);
            EXPECT_EQ(
                log.messages().filter(QStringLiteral("Could not save the settings")).size(), 1)
                << log.messages().join(u'\n').toStdString();
        }
        EXPECT_EQ(preferences.itemLimit(), 300);
        EXPECT_EQ(preferences.dayLimit(), 20);
        row.repair(settingsPath());
        {
            test::LogCapture log("com.ferrowen.corvane.preferences");
            preferences.setCapturesImages(false);
            EXPECT_TRUE(log.messages().isEmpty()) << log.messages().join(u'\n').toStdString();
        }
        const auto reloaded = reload();
        EXPECT_EQ(reloaded->itemLimit(), 300);
        EXPECT_EQ(reloaded->dayLimit(), 20);
        EXPECT_FALSE(reloaded->capturesImages());
    }
}

} // namespace
} // namespace corvane
