#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace corvane::test {

// The helper program's window with a focused text field, on the X server of DISPLAY.
class ExpansionTarget
{
public:
    ExpansionTarget();
    ~ExpansionTarget();
    ExpansionTarget(const ExpansionTarget &) = delete;
    ExpansionTarget &operator=(const ExpansionTarget &) = delete;

    // Starts it and waits until its field has the keyboard focus; false on failure.
    bool start();
    // The field's text as last reported.
    const QString &text() const { return m_text; }
    // Waits until the field holds exactly text.
    bool waitForText(const QString &text);
    // Empties the field and waits until it is.
    bool clear();

    unsigned long window() const { return m_window; }
    unsigned long otherWindow() const { return m_otherWindow; }

private:
    void readOutput();

    QProcess m_process;
    QByteArray m_pending;
    QString m_text;
    bool m_ready = false;
    unsigned long m_window = 0;
    unsigned long m_otherWindow = 0;
};

// Sets the root window's _NET_ACTIVE_WINDOW, as a window manager does when it activates a
// window; whether the server took it.
bool announceActiveWindow(unsigned long window);

// Binds a key code no key uses to a keysym, as a client typing an unusual character does, and
// unbinds it when destroyed. Each change has the server announce a new keymap to every client.
class SpareKeyBinding
{
public:
    explicit SpareKeyBinding(unsigned long keysym);
    ~SpareKeyBinding();
    SpareKeyBinding(const SpareKeyBinding &) = delete;
    SpareKeyBinding &operator=(const SpareKeyBinding &) = delete;

    bool isBound() const { return m_keycode != 0; }

private:
    int m_keycode = 0;
};

// Runs a program with the arguments, keeping the event loop going; whether it succeeded.
bool runProgram(const QString &program, const QStringList &arguments);
// Runs it without dispatching any event meanwhile, so that what it makes the X server send
// waits unread on this process's connections; whether it succeeded.
bool runProgramHoldingEvents(const QString &program, const QStringList &arguments);
bool xdotool(const QStringList &arguments);

} // namespace corvane::test
