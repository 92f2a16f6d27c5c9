#include "x11workspace.h"

#include "common/logging.h"
#include "platform/x11/clipboardxlib.h"

#include <QFileInfo>

#include <cstring>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace corvane {

namespace {

constexpr qsizetype smallPropertyBytes = 4096;

std::optional<quint32> cardinalProperty(Display *display, Window window, const char *name)
{
    const auto property = xlib::readProperty(
        display, window, XInternAtom(display, name, False), false, smallPropertyBytes);
    if (!property || property->format != 32 || property->bytes.size() < 4)
        return std::nullopt;
    quint32 value = 0;
    std::memcpy(&value, property->bytes.constData(), sizeof value);
    return value;
}

} // namespace

X11Workspace::X11Workspace(const QByteArray &displayName, const QStringList &applicationFolders)
    : m_display(xlib::openDisplay(displayName))
    , m_entries(applicationFolders)
{
    if (!m_display)
        qCWarning(lcWatcher,
            "Could not tell the frontmost application: the X display could "
            "not be opened");
}

X11Workspace::~X11Workspace()
{
    xlib::closeDisplay(m_display);
}

std::optional<RunningApplication> X11Workspace::frontmostApplication()
{
    if (!m_display)
        return std::nullopt;
    const auto active
        = cardinalProperty(m_display, DefaultRootWindow(m_display), "_NET_ACTIVE_WINDOW");
    if (!active || *active == None)
        return std::nullopt;
    const Window window = *active;

    // WM_CLASS is two NUL-terminated strings: the instance, then the class.
    QString instance, windowClass;
    if (const auto wmClass
        = xlib::readProperty(m_display, window, XA_WM_CLASS, false, smallPropertyBytes)) {
        const QList<QByteArray> parts = wmClass->bytes.split('\0');
        instance = parts.size() > 0 ? QString::fromLocal8Bit(parts[0]) : QString();
        windowClass = parts.size() > 1 ? QString::fromLocal8Bit(parts[1]) : QString();
    }
    // The executable helps when neither the class nor an entry's StartupWMClass names it;
    // /proc only answers for processes of this machine, which is all an X11 session shows.
    QString executable;
    if (const auto pid = cardinalProperty(m_display, window, "_NET_WM_PID"); pid && *pid > 0)
        executable = QFileInfo(QStringLiteral("/proc/%1/exe").arg(*pid)).symLinkTarget();
    executable = QFileInfo(executable).fileName();

    if (instance.isEmpty() && windowClass.isEmpty() && executable.isEmpty())
        return std::nullopt;
    RunningApplication application { .windowID = window };
    const QString fallback
        = !windowClass.isEmpty() ? windowClass : (!instance.isEmpty() ? instance : executable);
    if (const auto entry = m_entries.match(instance, windowClass, executable)) {
        application.bundleIdentifier = entry->id;
        application.localizedName = entry->name;
    } else {
        application.bundleIdentifier = fallback;
        application.localizedName = fallback;
    }
    return application;
}

} // namespace corvane
