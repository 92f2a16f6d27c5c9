#pragma once

#include "installedapplications.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace corvane {

class AccessibilityMonitor;
class AppServices;
class FeedbackService;
class HotkeyRegistrar;
class LoginItem;
class Pasteboard;
class Preferences;
class Updater;

// The settings window's side in C++: the services its panes show and change, and the
// actions whose rules belong to the application rather than the view (recording a shortcut,
// pruning to new limits at once, validating an emoji alias, copying a snippet without
// recording it). Every change takes effect at once.
class SettingsActions : public QObject
{
    Q_OBJECT
    Q_MOC_INCLUDE("app/accessibilitymonitor.h")
    Q_MOC_INCLUDE("app/appservices.h")
    Q_MOC_INCLUDE("app/feedbackservice.h")
    Q_MOC_INCLUDE("app/loginitem.h")
    Q_MOC_INCLUDE("app/updater.h")
    Q_MOC_INCLUDE("preferences/preferences.h")
    QML_ELEMENT
    QML_UNCREATABLE("Built by the settings window")
    Q_PROPERTY(corvane::Preferences *preferences READ preferences CONSTANT)
    Q_PROPERTY(corvane::AppServices *services READ services CONSTANT)
    Q_PROPERTY(corvane::AccessibilityMonitor *accessibility READ accessibility CONSTANT)
    Q_PROPERTY(corvane::LoginItem *loginItem READ loginItem CONSTANT)
    Q_PROPERTY(corvane::Updater *updater READ updater CONSTANT)
    Q_PROPERTY(corvane::FeedbackService *feedback READ feedback CONSTANT)
    Q_PROPERTY(corvane::InstalledApplications *applications READ applications CONSTANT)
    Q_PROPERTY(QString hotkeyText READ hotkeyText NOTIFY hotkeyChanged)
    Q_PROPERTY(bool isDefaultHotkey READ isDefaultHotkey NOTIFY hotkeyChanged)
    Q_PROPERTY(QString defaultHotkeyText READ defaultHotkeyText CONSTANT)
    Q_PROPERTY(int emojiCount READ emojiCount NOTIFY emojiCountChanged)
    Q_PROPERTY(QString statisticsText READ statisticsText NOTIFY statisticsChanged)
    Q_PROPERTY(QString aliasError READ aliasError NOTIFY aliasErrorChanged)
    Q_PROPERTY(QVariantList aliases READ aliases NOTIFY aliasesChanged)
    Q_PROPERTY(QString executablePath READ executablePath CONSTANT)
    Q_PROPERTY(bool isInStandardLocation READ isInStandardLocation CONSTANT)
    Q_PROPERTY(QStringList clientNames READ clientNames CONSTANT)
    Q_PROPERTY(bool isWaylandSession READ isWaylandSession CONSTANT)
    Q_PROPERTY(QString sessionNote READ sessionNote CONSTANT)
    Q_PROPERTY(QString versionText READ versionText CONSTANT)
    Q_PROPERTY(QUrl iconSource READ iconSource CONSTANT)

public:
    struct Context
    {
        AppServices &services;
        // Where the snippets are copied to; the same clipboard the watcher reads.
        Pasteboard &pasteboard;
        // Names keys on the current keyboard layout.
        const HotkeyRegistrar &hotkeys;
        // The login item and crash-recovery unit; absent where the session has neither.
        LoginItem *loginItem = nullptr;
        InstalledApplications::Source applications;
        // The running executable, as the snippets name it.
        QString executablePath;
        QString homeFolder;
        // The application's icon file; empty shows a symbol instead.
        QString iconPath;
        bool isWaylandSession = false;
        // What the session lets Corvane do that differs from X11 (in a Wayland session);
        // empty where nothing does.
        QString sessionNote;
    };

    explicit SettingsActions(const Context &context, QObject *parent = nullptr);
    ~SettingsActions() override;

    Preferences *preferences() const;
    AppServices *services() const { return &m_services; }
    AccessibilityMonitor *accessibility() const;
    LoginItem *loginItem() const { return m_loginItem; }
    Updater *updater() const;
    FeedbackService *feedback() const;
    InstalledApplications *applications() const { return m_applications; }
    QString hotkeyText() const;
    bool isDefaultHotkey() const;
    QString defaultHotkeyText() const;
    int emojiCount() const;
    QString statisticsText() const { return m_statisticsText; }
    QString aliasError() const { return m_aliasError; }
    QVariantList aliases() const;
    QString executablePath() const { return m_executablePath; }
    bool isInStandardLocation() const;
    QStringList clientNames() const;
    bool isWaylandSession() const { return m_isWaylandSession; }
    QString sessionNote() const { return m_sessionNote; }
    QString versionText() const;
    QUrl iconSource() const;

    // The recorder's key press: with at least one of Ctrl, Alt, Shift or Super held the
    // combination is stored and the hot key registered again (true); a bare key, or one the
    // hot key service cannot grab, beeps and changes nothing (false).
    Q_INVOKABLE bool recordShortcut(int qtKey, int qtModifiers);
    // Back to Shift+Super+V, registered again.
    Q_INVOKABLE void resetHotkey();
    // The expansion settings; each reconfigures expansion.
    Q_INVOKABLE void setExpandsSnippets(bool on);
    Q_INVOKABLE void setExpandsEmoji(bool on);
    Q_INVOKABLE void setExpansionPrefix(const QString &prefix);
    // Adds alias -> emoji, or sets aliasError and stores nothing; true when added.
    Q_INVOKABLE bool addAlias(const QString &alias, const QString &emoji);
    Q_INVOKABLE void removeAlias(const QString &alias);
    // Emoji whose names contain the text, at most limit of them, each as {name, emoji}.
    Q_INVOKABLE QVariantList emojiMatches(const QString &text, int limit) const;
    // The history limits, applied to the stored history at once.
    Q_INVOKABLE void setItemLimit(int limit);
    Q_INVOKABLE void setDayLimit(int limit);
    // Reads the item count and size from the store (an error shows zeros).
    Q_INVOKABLE void refreshStatistics();
    // Appends an application to an ignore list unless it is listed; removes one.
    Q_INVOKABLE QStringList withApplication(const QStringList &list, const QString &bundleID) const;
    // Applies the startup toggles; a refusal beeps. Either way the real state is read back.
    Q_INVOKABLE void applyLogin(bool opensAtLogin, bool reopensAfterCrash);
    // The AI Tools pane's client texts, by the client's position in clientNames.
    Q_INVOKABLE QString clientInstruction(int client) const;
    Q_INVOKABLE QString snippet(int client) const;
    // Puts the snippet on the clipboard without recording it in the history.
    Q_INVOKABLE void copySnippet(int client);
    Q_INVOKABLE void openUrl(const QString &url) const;
    // Asks for the feedback form.
    Q_INVOKABLE void sendFeedback();

    // The About pane's feedback button; the owner opens the form.
    std::function<void()> onSendFeedback;
    // Sounds the refusal of a key or a login change; the system beep unless replaced.
    std::function<void()> beep;

Q_SIGNALS:
    void hotkeyChanged();
    void emojiCountChanged();
    void statisticsChanged();
    void aliasErrorChanged();
    void aliasesChanged();

private:
    void setAliasError(const QString &error);
    void pruneNow();

    AppServices &m_services;
    Pasteboard &m_pasteboard;
    const HotkeyRegistrar &m_hotkeys;
    LoginItem *m_loginItem;
    InstalledApplications *m_applications;
    QString m_executablePath;
    QString m_homeFolder;
    QString m_iconPath;
    bool m_isWaylandSession;
    QString m_sessionNote;
    QString m_statisticsText;
    QString m_aliasError;
};

} // namespace corvane
