#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

namespace corvane {

// An observable copy of whether this process may observe and synthesise keyboard events
// (on X11: whether the server offers it XInput 2 and XTest). While anyone watches it polls
// every two seconds, logs each change and tells its owner, so that expansion can start as soon
// as access arrives and the settings window can show the live state.
class AccessibilityMonitor : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isTrusted READ isTrusted NOTIFY isTrustedChanged)
    Q_PROPERTY(int watchers READ watchers NOTIFY watchersChanged)

public:
    using TrustCheck = std::function<bool()>;

    static constexpr std::chrono::milliseconds pollInterval { 2000 };

    // Asks isProcessTrusted once now; it is asked again on every refresh.
    explicit AccessibilityMonitor(TrustCheck isProcessTrusted, QObject *parent = nullptr);
    ~AccessibilityMonitor() override;

    bool isTrusted() const { return m_isTrusted; }
    int watchers() const { return m_watchers; }

    // Called with the new value after each change; set by the owner.
    std::function<void(bool isTrusted)> onChange;
    // Shows the user how to give the application keyboard access (the README's section on
    // X11 and Wayland); set by the graphical shell. Without it nothing is shown.
    std::function<void()> openSettings;

    // Registers one interest: the first one starts the poll and checks at once.
    Q_INVOKABLE void startWatching();
    // Removes one interest, never going below none; the last one stops the poll.
    Q_INVOKABLE void stopWatching();
    // Checks now; a changed answer is stored, logged and passed to onChange.
    Q_INVOKABLE void refresh();
    // The settings window's explicit request: shows the help when access is still missing,
    // then checks again.
    Q_INVOKABLE void requestAccess();

Q_SIGNALS:
    void isTrustedChanged();
    void watchersChanged();

private:
    TrustCheck m_isProcessTrusted;
    bool m_isTrusted;
    int m_watchers = 0;
    QTimer m_timer;
};

} // namespace corvane
