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

bool ClipboardOwnerProcess::waitForLine(const QByteArray &line)
{
    // Each line answers one command, so a line is used up once it was waited for.
    const QByteArray wanted = line + '\n';
    const bool arrived
        = spinUntil([&] { return m_output.contains(wanted); }, std::chrono::seconds(10));
    if (arrived)
        m_output.remove(0, m_output.indexOf(wanted) + wanted.size());
    return arrived;
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
    QDeadlineTimer deadline(std::chrono::seconds(10));
    while (!m_output.contains("owned\n")) {
        if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    m_output.remove(0, m_output.indexOf("owned\n") + 6);
    return true;
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
