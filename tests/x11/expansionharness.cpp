#include "expansionharness.h"

#include "eventloopwait.h"

#include <QProcessEnvironment>

#include <algorithm>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace corvane::test {

ExpansionTarget::ExpansionTarget()
{
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { readOutput(); });
}

ExpansionTarget::~ExpansionTarget()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.write("quit\n");
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool ExpansionTarget::start()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The helper is only a stand-in for some application; its leaks are not ours to find.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(CORVANE_EXPANSION_TARGET), {});
    if (!m_process.waitForStarted(10000))
        return false;
    return spinUntil([this] { return m_ready || m_process.state() == QProcess::NotRunning; },
               std::chrono::seconds(20))
        && m_ready;
}

bool ExpansionTarget::waitForText(const QString &text)
{
    return spinUntil([this, &text] { return m_text == text; }, std::chrono::seconds(10));
}

bool ExpansionTarget::clear()
{
    m_process.write("clear\n");
    return waitForText(QString());
}

void ExpansionTarget::readOutput()
{
    m_pending += m_process.readAllStandardOutput();
    qsizetype end = 0;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        if (line.startsWith("text "))
            m_text = QString::fromUtf8(QByteArray::fromBase64(line.mid(5)));
        if (line.startsWith("ready ")) {
            const QList<QByteArray> ids = line.mid(6).split(' ');
            if (ids.size() == 2) {
                m_window = ids[0].toULong();
                m_otherWindow = ids[1].toULong();
                m_ready = true;
            }
        }
    }
}

bool xdotool(const QStringList &arguments)
{
    return runProgram(QStringLiteral("xdotool"), arguments);
}

bool runProgram(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return false;
    spinUntil(
        [&process] { return process.state() == QProcess::NotRunning; }, std::chrono::seconds(10));
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool runProgramHoldingEvents(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

namespace {

// Binds keysym to keycode on both levels; NoSymbol unbinds it.
void bindKeycode(int keycode, KeySym keysym)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return;
    KeySym levels[2] = { keysym, keysym };
    XChangeKeyboardMapping(display, keycode, 2, levels, 1);
    XSync(display, False);
    XCloseDisplay(display);
}

} // namespace

SpareKeyBinding::SpareKeyBinding(unsigned long keysym)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return;
    int minKeycode = 0;
    int maxKeycode = 0;
    XDisplayKeycodes(display, &minKeycode, &maxKeycode);
    int perKeycode = 0;
    KeySym *keysyms = XGetKeyboardMapping(
        display, KeyCode(minKeycode), maxKeycode - minKeycode + 1, &perKeycode);
    for (int keycode = maxKeycode; keysyms && keycode >= minKeycode && !m_keycode; --keycode) {
        const KeySym *row = keysyms + (keycode - minKeycode) * perKeycode;
        if (std::all_of(row, row + perKeycode, [](KeySym bound) { return bound == NoSymbol; }))
            m_keycode = keycode;
    }
    if (keysyms)
        XFree(keysyms);
    XCloseDisplay(display);
    if (m_keycode)
        bindKeycode(m_keycode, keysym);
}

SpareKeyBinding::~SpareKeyBinding()
{
    if (m_keycode)
        bindKeycode(m_keycode, NoSymbol);
}

bool announceActiveWindow(unsigned long window)
{
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    const Atom activeWindow = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    const Window value = window;
    XChangeProperty(display, DefaultRootWindow(display), activeWindow, XA_WINDOW, 32,
        PropModeReplace, reinterpret_cast<const unsigned char *>(&value), 1);
    XSync(display, False);
    XCloseDisplay(display);
    return true;
}

} // namespace corvane::test
