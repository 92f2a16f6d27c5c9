#pragma once

#include "preferences/preferences.h"

#include <QVariant>

#include <optional>
#include <vector>

namespace corvane::test {

// A value assigned to one setting, by the name of its property (which is also its key).
struct PreferenceSample
{
    const char *key;
    QVariant value;
};

// Values of every setting that must survive a write and a fresh load, chosen around the
// shapes the INI format treats specially: one-element and empty lists, commas, quotes,
// leading '@', empty texts and the edges of the integer ranges.
inline std::vector<PreferenceSample> preferenceSamples()
{
    using Map = Preferences::StringMap;
    const auto text = [](const char *utf8) { return QString::fromUtf8(utf8); };
    const auto list = [&](std::initializer_list<const char *> items) {
        QStringList result;
        for (const char *item : items)
            result.append(text(item));
        return QVariant(result);
    };
    const auto build = [&](std::optional<QString> value) { return QVariant::fromValue(value); };
    const auto hotkey = [](quint32 keyCode, quint32 modifiers) {
        return QVariant::fromValue(HotkeyCombination { keyCode, modifiers });
    };
    std::vector<PreferenceSample> samples;
    const auto add = [&](const char *key, std::initializer_list<QVariant> values) {
        for (const QVariant &value : values)
            samples.push_back({ key, value });
    };
    for (const char *key : { "launchesAtLogin", "capturesImages", "fetchesLinkPreviews",
             "keepsClipboardAlive", "recognizesTextInImages", "pastesPlainText", "pastesOnSelect",
             "ignoresSecretLookingText", "showsDockIcon", "showsMenuBarIcon", "expandsSnippets",
             "expandsEmoji", "automaticallyChecksForUpdates" })
        add(key, { false, true });
    add("itemLimit", { 0, -1, 2147483647, -2147483647 - 1, 500 });
    add("dayLimit", { 7, 365 });
    add("menuBarRecentCount", { 0, 15 });
    add("ignoredBundleIDs",
        { list({}), list({ "" }), list({ "@Invalid()" }), list({ "true" }),
            list({ "a, b", "c;d", "e=f", "@g", "\"quoted\"", " spaced ", "ünïcødé 🔑" }),
            list({ "org.keepassxc.KeePassXC" }) });
    add("expansionIgnoredBundleIDs",
        { list({ "x", "y" }), list({}), list({ "org.gnome.Terminal" }) });
    add("hotkey", { hotkey(0, 0), hotkey(4294967295u, 4294967295u), hotkey(49, 2048) });
    add("agentRegisteredBuild",
        { build(std::nullopt), build(QString()), build(text("1, 2")), build(text("@Invalid()")),
            build(text("42")) });
    for (const char *prefix : { ",,", "@@", "=", "\"", "#x", "é:", ";;", "🌀🌀" })
        add("expansionPrefix", { text(prefix) });
    add("emojiAliases",
        { QVariant::fromValue(Map()),
            QVariant::fromValue(Map { { text("a, b"), text("c,d") }, { text("@x"), text("=;") },
                { QString(), QString() } }),
            QVariant::fromValue(Map { { text("shrug"), text("🤷") } }) });
    return samples;
}

} // namespace corvane::test
