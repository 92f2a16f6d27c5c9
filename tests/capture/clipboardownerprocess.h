#pragma once

#include "eventloopwait.h"

#include <QProcess>
#include <QStringList>

#include <chrono>
#include <functional>

namespace corvane::test {

// Another process that can own the clipboard: the clipboardowner helper, started with the
// given arguments and ended (by its process id) with this object.
class ClipboardOwnerProcess
{
public:
    explicit ClipboardOwnerProcess(const QStringList &arguments);
    ~ClipboardOwnerProcess();

    // Waits for the helper to connect; false if it did not start.
    bool waitUntilReady();
    // Asks it to take the clipboard, without waiting.
    void own();
    // Takes the clipboard and waits until it owns it, running the event loop meanwhile.
    bool ownAndWait();
    // Takes the clipboard and waits until it owns it without running the event loop, so
    // this process has not handled the change yet when it returns.
    bool ownWithoutEventLoop();
    // Makes its window the active one with this WM_CLASS and waits until it is.
    bool activate(const QString &instance, const QString &windowClass);
    // Ends it as an exiting application would end, and waits for it.
    void exit();
    qint64 processId() const { return m_process.processId(); }
    // Still running: it ends by itself when another client takes its selection.
    bool isRunning() const { return m_process.state() == QProcess::Running; }

private:
    // Runs the event loop meanwhile unless told not to.
    bool waitForLine(const QByteArray &line, bool runsEventLoop = true);

    QProcess m_process;
    QByteArray m_output;
};

} // namespace corvane::test
