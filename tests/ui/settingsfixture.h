#pragma once

#include "app/appservices.h"
#include "app/crashrecoveryagent.h"
#include "app/loginitem.h"
#include "platform/fake/fakeactivationnotifier.h"
#include "platform/fake/fakehotkeyregistrar.h"
#include "platform/fake/fakeinputdevicestate.h"
#include "platform/fake/fakekeystrokeposter.h"
#include "platform/fake/fakekeystrokesynthesizer.h"
#include "platform/fake/fakekeystroketap.h"
#include "platform/fake/fakeworkspace.h"
#include "platform/x11/x11pasteboard.h"
#include "store/clipitem.h"
#include "ui/feedbackwindow.h"
#include "ui/settingswindow.h"
#include "ui/taskbarentry.h"
#include "ui/traymenu.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>

#include <memory>

namespace corvane::test {

// The settings window and the tray menu over a whole service graph in a temporary folder:
// the real clipboard of the X server, the hot key service, keystrokes and the workspace
// faked. Installed applications come from desktop entries written into the folder. Used by
// the settings tests and the screenshot program.
class SettingsFixture
{
public:
    SettingsFixture();
    ~SettingsFixture();

    // A desktop entry for an installed application; with a colour, an icon of that colour
    // showing the name's initial.
    void install(const QString &bundleID, const QString &name, const QColor &iconColor = {});
    // A text item copied minutesAgo minutes before now.
    ClipItem addText(const QString &text, int minutesAgo = 0);
    // Builds and shows the settings window at the given size and lets it settle; false when
    // it never became exposed.
    bool open(QSize size = QSize(620, 660));
    void settle(int milliseconds = 120);
    // The item with this object name in the settings window, or in another window (searching
    // inside popups too).
    QQuickItem *find(const QString &objectName, QQuickWindow *in = nullptr) const;
    void click(QQuickItem *item);
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void type(const QString &text);
    void showPane(int index);
    QImage grab();
    // The settings file's text.
    QString settingsFile() const;
    QString autostartFolder() const;

    QTemporaryDir folder;
    X11Pasteboard pasteboard;
    FakeWorkspace workspace;
    FakeKeystrokePoster keystrokes;
    FakeInputState input;
    FakeHotkeyRegistrar hotkeys;
    FakeActivationNotifier activations;
    UnavailableCrashRecoveryAgent crashRecovery;
    FakeKeystrokeTap *tap = nullptr;
    FakeKeystrokeSynthesizer *synthesizer = nullptr;
    std::unique_ptr<AppServices> services;
    // Its autostart folder is in the temporary folder; its systemctl always fails, as where
    // no user manager runs.
    std::unique_ptr<LoginItem> loginItem;
    std::unique_ptr<SettingsWindow> settings;
    std::unique_ptr<FeedbackWindow> feedback;
    std::unique_ptr<TrayMenu> tray;
    std::unique_ptr<TaskbarEntry> taskbar;
    int beeps = 0;
};

} // namespace corvane::test
