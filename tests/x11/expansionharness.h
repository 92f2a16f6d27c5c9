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

// Runs a program with the arguments, keeping the event loop going; whether it succeeded.
bool runProgram(const QString &program, const QStringList &arguments);
bool xdotool(const QStringList &arguments);

} // namespace corvane::test
