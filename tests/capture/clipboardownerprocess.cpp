#include "clipboardownerprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

namespace corvane::test {

ClipboardOwnerProcess::ClipboardOwnerProcess(const QStringList &arguments)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput,
        [this] { m_output += m_process.readAllStandardOutput(); });
    m_process.start(QStringLiteral(CLIPBOARD_OWNER_PATH), arguments);
}

ClipboardOwnerProcess::~ClipboardOwnerProcess()
{
    exit();
}

bool ClipboardOwnerProcess::waitForLine(const QByteArray &line, bool runsEventLoop)
{
    // Each line answers one command, so a line is used up once it was waited for.
    const QByteArray wanted = line + '\n';
    const auto arrived = [&] { return m_output.contains(wanted); };
    bool found = false;
    if (runsEventLoop) {
        found = spinUntil(arrived, std::chrono::seconds(10));
    } else {
        // Only this process's output is read meanwhile (readyRead is emitted from inside
        // waitForReadyRead); nothing else of the event loop runs.
        const QDeadlineTimer deadline(std::chrono::seconds(10));
        while (!arrived() && !deadline.hasExpired()
            && m_process.waitForReadyRead(int(deadline.remainingTime()))) { }
        found = arrived();
    }
    if (found)
        m_output.remove(0, m_output.indexOf(wanted) + wanted.size());
    return found;
}

bool ClipboardOwnerProcess::waitUntilReady()
{
    return m_process.waitForStarted(10000) && waitForLine("ready");
}

void ClipboardOwnerProcess::own()
{
    m_process.write("own\n");
}

bool ClipboardOwnerProcess::ownAndWait()
{
    own();
    return waitForLine("owned");
}

bool ClipboardOwnerProcess::ownWithoutEventLoop()
{
    own();
    return waitForLine("owned", false);
}

bool ClipboardOwnerProcess::activate(const QString &instance, const QString &windowClass)
{
    m_process.write("activate " + instance.toUtf8() + ' ' + windowClass.toUtf8() + '\n');
    return waitForLine("active");
}

void ClipboardOwnerProcess::exit()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

} // namespace corvane::test
