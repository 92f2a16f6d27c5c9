#pragma once

#include "preferences/hotkeycombination.h"

#include <QMap>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace corvane {

// The user's settings, loaded once from a per-user INI file and kept in memory. Every
// assignment is written back to the file at once under the setting's name; observers are
// notified only when a value actually changes.
//
// The INI format stores every scalar as text, so a value counts as having the right type
// when it has that type in memory or when it is the text this class writes for that type:
// "true"/"false" for booleans, an optional minus sign and decimal digits (within 32 bits)
// for integers, any text for strings; a list of strings is a list whose elements are all
// strings, a single text (the INI form of a one-element list) or the INI form of the empty
// list; a map is a map whose values are all strings. Anything else falls back to the
// setting's default.
class Preferences : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool launchesAtLogin READ launchesAtLogin WRITE setLaunchesAtLogin NOTIFY
            launchesAtLoginChanged)
    Q_PROPERTY(bool capturesImages READ capturesImages WRITE setCapturesImages NOTIFY
            capturesImagesChanged)
    Q_PROPERTY(bool fetchesLinkPreviews READ fetchesLinkPreviews WRITE setFetchesLinkPreviews NOTIFY
            fetchesLinkPreviewsChanged)
    Q_PROPERTY(bool keepsClipboardAlive READ keepsClipboardAlive WRITE setKeepsClipboardAlive NOTIFY
            keepsClipboardAliveChanged)
    Q_PROPERTY(bool recognizesTextInImages READ recognizesTextInImages WRITE
            setRecognizesTextInImages NOTIFY recognizesTextInImagesChanged)
    Q_PROPERTY(bool pastesPlainText READ pastesPlainText WRITE setPastesPlainText NOTIFY
            pastesPlainTextChanged)
    Q_PROPERTY(bool pastesOnSelect READ pastesOnSelect WRITE setPastesOnSelect NOTIFY
            pastesOnSelectChanged)
    Q_PROPERTY(int itemLimit READ itemLimit WRITE setItemLimit NOTIFY itemLimitChanged)
    Q_PROPERTY(int dayLimit READ dayLimit WRITE setDayLimit NOTIFY dayLimitChanged)
    Q_PROPERTY(bool ignoresSecretLookingText READ ignoresSecretLookingText WRITE
            setIgnoresSecretLookingText NOTIFY ignoresSecretLookingTextChanged)
    Q_PROPERTY(QStringList ignoredBundleIDs READ ignoredBundleIDs WRITE setIgnoredBundleIDs NOTIFY
            ignoredBundleIDsChanged)
    Q_PROPERTY(corvane::HotkeyCombination hotkey READ hotkey WRITE setHotkey NOTIFY hotkeyChanged)
    Q_PROPERTY(
        bool showsDockIcon READ showsDockIcon WRITE setShowsDockIcon NOTIFY showsDockIconChanged)
    Q_PROPERTY(bool showsMenuBarIcon READ showsMenuBarIcon WRITE setShowsMenuBarIcon NOTIFY
            showsMenuBarIconChanged)
    Q_PROPERTY(int menuBarRecentCount READ menuBarRecentCount WRITE setMenuBarRecentCount NOTIFY
            menuBarRecentCountChanged)
    Q_PROPERTY(std::optional<QString> agentRegisteredBuild READ agentRegisteredBuild WRITE
            setAgentRegisteredBuild NOTIFY agentRegisteredBuildChanged)
    Q_PROPERTY(bool expandsSnippets READ expandsSnippets WRITE setExpandsSnippets NOTIFY
            expandsSnippetsChanged)
    Q_PROPERTY(QString expansionPrefix READ expansionPrefix WRITE setExpansionPrefix NOTIFY
            expansionPrefixChanged)
    Q_PROPERTY(QStringList expansionIgnoredBundleIDs READ expansionIgnoredBundleIDs WRITE
            setExpansionIgnoredBundleIDs NOTIFY expansionIgnoredBundleIDsChanged)
    Q_PROPERTY(bool expandsEmoji READ expandsEmoji WRITE setExpandsEmoji NOTIFY expandsEmojiChanged)
    Q_PROPERTY(corvane::Preferences::StringMap emojiAliases READ emojiAliases WRITE setEmojiAliases
            NOTIFY emojiAliasesChanged)
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
            setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)

public:
    using StringMap = QMap<QString, QString>;

    // Loads every setting from the INI file at settingsPath (created on the first
    // assignment); a missing file or key, or a value of the wrong type, gives the default.
    explicit Preferences(const QString &settingsPath, QObject *parent = nullptr);
    ~Preferences() override;

    // "Corvane/Corvane.conf" under the user's configuration folder ($XDG_CONFIG_HOME).
    static QString defaultSettingsPath();
    // Password managers and key rings whose copies are never recorded.
    static QStringList defaultIgnoredBundleIDs();
    // The prefix without any whitespace, at most 8 characters, "::" when nothing remains.
    static QString normalizedExpansionPrefix(const QString &prefix);

    QString settingsPath() const { return m_defaults->fileName(); }

    bool launchesAtLogin() const { return m_launchesAtLogin; }
    bool capturesImages() const { return m_capturesImages; }
    bool fetchesLinkPreviews() const { return m_fetchesLinkPreviews; }
    bool keepsClipboardAlive() const { return m_keepsClipboardAlive; }
    bool recognizesTextInImages() const { return m_recognizesTextInImages; }
    bool pastesPlainText() const { return m_pastesPlainText; }
    bool pastesOnSelect() const { return m_pastesOnSelect; }
    int itemLimit() const { return m_itemLimit; }
    int dayLimit() const { return m_dayLimit; }
    bool ignoresSecretLookingText() const { return m_ignoresSecretLookingText; }
    QStringList ignoredBundleIDs() const { return m_ignoredBundleIDs; }
    HotkeyCombination hotkey() const { return m_hotkey; }
    bool showsDockIcon() const { return m_showsDockIcon; }
    bool showsMenuBarIcon() const { return m_showsMenuBarIcon; }
    int menuBarRecentCount() const { return m_menuBarRecentCount; }
    std::optional<QString> agentRegisteredBuild() const { return m_agentRegisteredBuild; }
    bool expandsSnippets() const { return m_expandsSnippets; }
    QString expansionPrefix() const { return m_expansionPrefix; }
    QStringList expansionIgnoredBundleIDs() const { return m_expansionIgnoredBundleIDs; }
    bool expandsEmoji() const { return m_expandsEmoji; }
    StringMap emojiAliases() const { return m_emojiAliases; }
    bool automaticallyChecksForUpdates() const { return m_automaticallyChecksForUpdates; }

    // Each setter stores the value, notifies when it differs from the old one and writes
    // it to the file in every case; a write that fails is logged and the value is kept.
    void setLaunchesAtLogin(bool value);
    void setCapturesImages(bool value);
    void setFetchesLinkPreviews(bool value);
    void setKeepsClipboardAlive(bool value);
    void setRecognizesTextInImages(bool value);
    void setPastesPlainText(bool value);
    void setPastesOnSelect(bool value);
    void setItemLimit(int value);
    void setDayLimit(int value);
    void setIgnoresSecretLookingText(bool value);
    void setIgnoredBundleIDs(const QStringList &value);
    void setHotkey(const HotkeyCombination &value);
    void setShowsDockIcon(bool value);
    void setShowsMenuBarIcon(bool value);
    void setMenuBarRecentCount(int value);
    // Nothing removes the key from the file.
    void setAgentRegisteredBuild(const std::optional<QString> &value);
    void setExpandsSnippets(bool value);
    // Stores the normalised prefix (see normalizedExpansionPrefix).
    void setExpansionPrefix(const QString &value);
    void setExpansionIgnoredBundleIDs(const QStringList &value);
    void setExpandsEmoji(bool value);
    void setEmojiAliases(const StringMap &value);
    void setAutomaticallyChecksForUpdates(bool value);

Q_SIGNALS:
    void launchesAtLoginChanged();
    void capturesImagesChanged();
    void fetchesLinkPreviewsChanged();
    void keepsClipboardAliveChanged();
    void recognizesTextInImagesChanged();
    void pastesPlainTextChanged();
    void pastesOnSelectChanged();
    void itemLimitChanged();
    void dayLimitChanged();
    void ignoresSecretLookingTextChanged();
    void ignoredBundleIDsChanged();
    void hotkeyChanged();
    void showsDockIconChanged();
    void showsMenuBarIconChanged();
    void menuBarRecentCountChanged();
    void agentRegisteredBuildChanged();
    void expandsSnippetsChanged();
    void expansionPrefixChanged();
    void expansionIgnoredBundleIDsChanged();
    void expandsEmojiChanged();
    void emojiAliasesChanged();
    void automaticallyChecksForUpdatesChanged();

private:
    template <typename T>
    void assign(T &field, const T &value, void (Preferences::*changed)(), const QString &key,
        const QVariant &stored);
    void write(const QString &key, const QVariant &value);
    void remove(const QString &key);
    void flush();
    void startOver(const std::vector<std::pair<QString, QVariant>> &values);

    std::unique_ptr<QSettings> m_defaults;
    // The last save failed; the next one starts with a new QSettings.
    bool m_saveFailed = false;
    bool m_launchesAtLogin = false;
    bool m_capturesImages = true;
    bool m_fetchesLinkPreviews = true;
    bool m_keepsClipboardAlive = true;
    bool m_recognizesTextInImages = true;
    bool m_pastesPlainText = false;
    bool m_pastesOnSelect = true;
    int m_itemLimit = 0;
    int m_dayLimit = 0;
    bool m_ignoresSecretLookingText = true;
    QStringList m_ignoredBundleIDs;
    HotkeyCombination m_hotkey = defaultHotkeyCombination;
    bool m_showsDockIcon = false;
    bool m_showsMenuBarIcon = true;
    int m_menuBarRecentCount = 5;
    std::optional<QString> m_agentRegisteredBuild;
    bool m_expandsSnippets = false;
    QString m_expansionPrefix;
    QStringList m_expansionIgnoredBundleIDs;
    bool m_expandsEmoji = false;
    StringMap m_emojiAliases;
    bool m_automaticallyChecksForUpdates = false;
};

} // namespace corvane
