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
    for (const char *key : { "launchesAtLogin", "capturesImages", "fetchesLinkPreviews",
             "keepsClipboardAlive", "recognizesTextInImages", "pastesPlainText", "pastesOnSelect",
             "ignoresSecretLookingText", "showsDockIcon", "showsMenuBarIcon", "expandsSnippets",
             "expandsEmoji", "automaticallyChecksForUpdates" }) {
        samples.push_back({ key, QVariant(false) });
        samples.push_back({ key, QVariant(true) });
    }
    for (int limit : { 0, -1, 2147483647, -2147483647 - 1, 500 })
        samples.push_back({ "itemLimit", QVariant(limit) });
    for (int limit : { 7, 365 })
        samples.push_back({ "dayLimit", QVariant(limit) });
    for (int count : { 0, 15 })
        samples.push_back({ "menuBarRecentCount", QVariant(count) });
    samples.push_back({ "ignoredBundleIDs", list({}) });
    samples.push_back({ "ignoredBundleIDs", list({ "" }) });
    samples.push_back({ "ignoredBundleIDs", list({ "@Invalid()" }) });
    samples.push_back({ "ignoredBundleIDs", list({ "true" }) });
    samples.push_back({ "ignoredBundleIDs",
        list({ "a, b", "c;d", "e=f", "@g", "\"quoted\"", " spaced ", "ünïcødé 🔑" }) });
    samples.push_back({ "ignoredBundleIDs", list({ "org.keepassxc.KeePassXC" }) });
    samples.push_back({ "expansionIgnoredBundleIDs", list({ "x", "y" }) });
    samples.push_back({ "expansionIgnoredBundleIDs", list({}) });
    samples.push_back({ "expansionIgnoredBundleIDs", list({ "org.gnome.Terminal" }) });
    samples.push_back({ "hotkey", hotkey(0, 0) });
    samples.push_back({ "hotkey", hotkey(4294967295u, 4294967295u) });
    samples.push_back({ "hotkey", hotkey(49, 2048) });
    samples.push_back({ "agentRegisteredBuild", build(std::nullopt) });
    samples.push_back({ "agentRegisteredBuild", build(QString()) });
    samples.push_back({ "agentRegisteredBuild", build(text("1, 2")) });
    samples.push_back({ "agentRegisteredBuild", build(text("@Invalid()")) });
    samples.push_back({ "agentRegisteredBuild", build(text("42")) });
    for (const char *prefix : { ",,", "@@", "=", "\"", "#x", "é:", ";;", "🌀🌀" })
        samples.push_back({ "expansionPrefix", QVariant(text(prefix)) });
    samples.push_back({ "emojiAliases", QVariant::fromValue(Map()) });
    samples.push_back({ "emojiAliases",
        QVariant::fromValue(Map { { text("a, b"), text("c,d") }, { text("@x"), text("=;") },
            { QString(), QString() } }) });
    samples.push_back(
        { "emojiAliases", QVariant::fromValue(Map { { text("shrug"), text("🤷") } }) });
    return samples;
}

} // namespace corvane::test
