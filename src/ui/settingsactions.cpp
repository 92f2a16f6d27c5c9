#include "settingsactions.h"

#include "aitoolsnippets.h"
#include "app/accessibilitymonitor.h"
#include "app/appservices.h"
#include "app/feedbackservice.h"
#include "app/loginitem.h"
#include "app/updater.h"
#include "common/bytecount.h"
#include "common/logging.h"
#include "expansion/emojinametable.h"
#include "panel/historymodel.h"
#include "platform/hotkeyregistrar.h"
#include "platform/pasteboard.h"
#include "preferences/preferences.h"
#include "shortcutkeys.h"
#include "store/clipstore.h"

#include <QApplication>
#include <QDesktopServices>
#include <QVariantMap>

namespace corvane {

namespace {

using aitoolsnippets::Client;

std::optional<Client> clientAt(int index)
{
    if (index < 0 || index >= aitoolsnippets::clientCount)
        return std::nullopt;
    return static_cast<Client>(index);
}

} // namespace

SettingsActions::SettingsActions(const Context &context, QObject *parent)
    : QObject(parent)
    , m_services(context.services)
    , m_pasteboard(context.pasteboard)
    , m_hotkeys(context.hotkeys)
    , m_loginItem(context.loginItem)
    , m_applications(new InstalledApplications(context.applications, this))
    , m_executablePath(context.executablePath)
    , m_homeFolder(context.homeFolder)
    , m_iconPath(context.iconPath)
    , m_isWaylandSession(context.isWaylandSession)
    , m_sessionNote(context.sessionNote)
{
    beep = [] { QApplication::beep(); };
    Preferences &preferences = m_services.preferences();
    connect(&preferences, &Preferences::hotkeyChanged, this, &SettingsActions::hotkeyChanged);
    connect(
        &preferences, &Preferences::emojiAliasesChanged, this, &SettingsActions::aliasesChanged);
    refreshStatistics();
}

SettingsActions::~SettingsActions() = default;

Preferences *SettingsActions::preferences() const
{
    return &m_services.preferences();
}

AccessibilityMonitor *SettingsActions::accessibility() const
{
    return &m_services.accessibilityMonitor();
}

Updater *SettingsActions::updater() const
{
    return &m_services.updater();
}

FeedbackService *SettingsActions::feedback() const
{
    return &m_services.feedback();
}

QString SettingsActions::hotkeyText() const
{
    const HotkeyCombination combination = m_services.preferences().hotkey();
    return shortcutkeys::displayText(combination, m_hotkeys.keyText(combination.keyCode));
}

bool SettingsActions::isDefaultHotkey() const
{
    return m_services.preferences().hotkey() == defaultHotkeyCombination;
}

QString SettingsActions::defaultHotkeyText() const
{
    return shortcutkeys::displayText(
        defaultHotkeyCombination, m_hotkeys.keyText(defaultHotkeyCombination.keyCode));
}

int SettingsActions::emojiCount() const
{
    return int(EmojiNameTable::shared().table().size());
}

QVariantList SettingsActions::aliases() const
{
    QVariantList list;
    const Preferences::StringMap aliases = m_services.preferences().emojiAliases();
    for (auto it = aliases.cbegin(); it != aliases.cend(); ++it) {
        list << QVariantMap { { QStringLiteral("alias"), it.key() },
            { QStringLiteral("emoji"), it.value() } };
    }
    return list;
}

bool SettingsActions::isInStandardLocation() const
{
    return aitoolsnippets::isInStandardLocation(m_executablePath, m_homeFolder);
}

QStringList SettingsActions::clientNames() const
{
    QStringList names;
    for (int index = 0; index < aitoolsnippets::clientCount; ++index)
        names << aitoolsnippets::displayName(*clientAt(index));
    return names;
}

QString SettingsActions::versionText() const
{
    const QString build = QStringLiteral(CORVANE_BUILD_NUMBER);
    return QStringLiteral("Version ") + QStringLiteral(CORVANE_VERSION)
        + (build.isEmpty() ? QString() : QStringLiteral(" (") + build + QStringLiteral(")"));
}

QUrl SettingsActions::iconSource() const
{
    return m_iconPath.isEmpty() ? QUrl() : QUrl::fromLocalFile(m_iconPath);
}

bool SettingsActions::recordShortcut(int qtKey, int qtModifiers)
{
    const auto keyCode = shortcutkeys::keyCode(qtKey);
    const std::uint32_t modifiers = shortcutkeys::modifiers(qtModifiers);
    if (!keyCode || modifiers == 0) {
        if (beep)
            beep();
        return false;
    }
    m_services.preferences().setHotkey(HotkeyCombination { *keyCode, modifiers });
    m_services.registerHotkey();
    return true;
}

void SettingsActions::resetHotkey()
{
    m_services.preferences().setHotkey(defaultHotkeyCombination);
    m_services.registerHotkey();
}

void SettingsActions::setExpandsSnippets(bool on)
{
    m_services.preferences().setExpandsSnippets(on);
    m_services.configureExpansion();
}

void SettingsActions::setExpandsEmoji(bool on)
{
    m_services.preferences().setExpandsEmoji(on);
    if (on)
        EmojiNameTable::shared().warmUp();
    m_services.configureExpansion();
}

void SettingsActions::setExpansionPrefix(const QString &prefix)
{
    m_services.preferences().setExpansionPrefix(prefix);
    m_services.configureExpansion();
}

bool SettingsActions::addAlias(const QString &alias, const QString &emoji)
{
    const QString name = alias.trimmed().toLower();
    if (name.isEmpty()
        || std::any_of(name.cbegin(), name.cend(), [](QChar c) { return c.isSpace(); })) {
        setAliasError(QStringLiteral("An alias cannot contain spaces."));
        return false;
    }
    const auto resolved = resolveEmoji(emoji);
    if (!resolved) {
        setAliasError(
            QStringLiteral("That is not an emoji. Use the ☺ button, or type a name like “tada”."));
        return false;
    }
    setAliasError({});
    Preferences::StringMap aliases = m_services.preferences().emojiAliases();
    aliases.insert(name, *resolved);
    m_services.preferences().setEmojiAliases(aliases);
    m_services.configureExpansion();
    return true;
}

void SettingsActions::removeAlias(const QString &alias)
{
    Preferences::StringMap aliases = m_services.preferences().emojiAliases();
    if (aliases.remove(alias) == 0)
        return;
    m_services.preferences().setEmojiAliases(aliases);
    m_services.configureExpansion();
}

QVariantList SettingsActions::emojiMatches(const QString &text, int limit) const
{
    QVariantList matches;
    const QString wanted = text.trimmed().toLower().replace(QLatin1Char(' '), QLatin1Char('_'));
    const EmojiNameTable::Table &table = EmojiNameTable::shared().table();
    for (auto it = table.cbegin(); it != table.cend() && matches.size() < limit; ++it) {
        if (wanted.isEmpty() || it.key().contains(wanted)) {
            matches << QVariantMap { { QStringLiteral("name"), it.key() },
                { QStringLiteral("emoji"), it.value() } };
        }
    }
    return matches;
}

void SettingsActions::setItemLimit(int limit)
{
    m_services.preferences().setItemLimit(limit);
    pruneNow();
}

void SettingsActions::setDayLimit(int limit)
{
    m_services.preferences().setDayLimit(limit);
    pruneNow();
}

void SettingsActions::pruneNow()
{
    // A smaller limit is expected to show at once, not after the next copy.
    const Preferences &preferences = m_services.preferences();
    try {
        m_services.store().prune(preferences.itemLimit(), preferences.dayLimit());
    } catch (const std::exception &error) {
        qCWarning(lcStore, "Could not prune the history to its new limits: %s", error.what());
    }
    m_services.model().reload();
    refreshStatistics();
}

void SettingsActions::refreshStatistics()
{
    ClipStore::Statistics statistics;
    try {
        statistics = m_services.store().statistics();
    } catch (const std::exception &) {
        statistics = {};
    }
    const QString text = QString::number(statistics.itemCount) + QStringLiteral(" items · ")
        + formatByteCount(statistics.totalBytes);
    if (text != m_statisticsText) {
        m_statisticsText = text;
        Q_EMIT statisticsChanged();
    }
}

QStringList SettingsActions::withApplication(const QStringList &list, const QString &bundleID) const
{
    if (bundleID.isEmpty() || list.contains(bundleID))
        return list;
    return list + QStringList { bundleID };
}

void SettingsActions::applyLogin(bool opensAtLogin, bool reopensAfterCrash)
{
    if (m_loginItem && m_loginItem->apply(opensAtLogin, reopensAfterCrash))
        m_services.preferences().setLaunchesAtLogin(opensAtLogin);
    else if (beep)
        beep();
}

QString SettingsActions::clientInstruction(int client) const
{
    const auto found = clientAt(client);
    return found ? aitoolsnippets::instruction(*found) : QString();
}

QString SettingsActions::snippet(int client) const
{
    const auto found = clientAt(client);
    return found ? aitoolsnippets::snippet(*found, m_executablePath) : QString();
}

void SettingsActions::copySnippet(int client)
{
    const QString text = snippet(client);
    if (text.isEmpty())
        return;
    // The watcher skips our own write, as it does for the paster's.
    if (m_services.model().onWillWritePasteboard)
        m_services.model().onWillWritePasteboard();
    m_pasteboard.clearContents();
    m_pasteboard.setString(text);
}

void SettingsActions::openUrl(const QString &url) const
{
    QDesktopServices::openUrl(QUrl(url));
}

void SettingsActions::sendFeedback()
{
    if (onSendFeedback)
        onSendFeedback();
}

void SettingsActions::setAliasError(const QString &error)
{
    if (error == m_aliasError)
        return;
    m_aliasError = error;
    Q_EMIT aliasErrorChanged();
}

} // namespace corvane
