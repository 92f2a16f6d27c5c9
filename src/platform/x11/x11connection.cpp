#include "x11connection.h"

#include <QSocketNotifier>

#include <X11/Xlib.h>

namespace corvane {

namespace {

X11ErrorTrap *currentTrap = nullptr;

} // namespace

struct X11ErrorTrapAccess
{
    static int handle(Display *display, XErrorEvent *error)
    {
        for (X11ErrorTrap *trap = currentTrap; trap; trap = trap->m_previousTrap) {
            if (trap->m_display == display) {
                if (trap->m_errorCode == 0)
                    trap->m_errorCode = error->error_code;
                return 0;
            }
        }
        // An error on a connection nobody is watching (Qt's own, say) goes to whoever
        // handled errors before the first trap.
        X11ErrorTrap *outermost = currentTrap;
        while (outermost && outermost->m_previousTrap)
            outermost = outermost->m_previousTrap;
        if (outermost && outermost->m_previousHandler)
            return reinterpret_cast<XErrorHandler>(outermost->m_previousHandler)(display, error);
        return 0;
    }
};

X11Connection::X11Connection()
    : m_display(XOpenDisplay(nullptr))
{ }

X11Connection::~X11Connection()
{
    *m_alive = false;
    if (m_notifier) {
        // Possibly inside the notifier's own signal: let the event loop delete it.
        m_notifier->setEnabled(false);
        m_notifier.release()->deleteLater();
    }
    if (m_display)
        XCloseDisplay(m_display);
}

void X11Connection::setEventHandler(EventHandler handler)
{
    m_handler = std::move(handler);
    if (!m_display || m_notifier)
        return;
    m_notifier
        = std::make_unique<QSocketNotifier>(ConnectionNumber(m_display), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
        [this] { dispatchPending(); });
    dispatchPending();
}

void X11Connection::dispatchPending()
{
    if (!m_display)
        return;
    // XPending reads whatever the socket holds, so one wake-up drains everything.
    const std::shared_ptr<bool> alive = m_alive;
    while (*alive && XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (const EventHandler handler = m_handler)
            handler(event);
    }
}

X11ErrorTrap::X11ErrorTrap(Display *display)
    : m_display(display)
    , m_previousTrap(currentTrap)
    , m_previousHandler(nullptr)
{
    XSync(m_display, False);
    m_previousHandler = reinterpret_cast<void (*)()>(XSetErrorHandler(&X11ErrorTrapAccess::handle));
    currentTrap = this;
}

X11ErrorTrap::~X11ErrorTrap()
{
    XSync(m_display, False);
    currentTrap = m_previousTrap;
    XSetErrorHandler(reinterpret_cast<XErrorHandler>(m_previousHandler));
}

bool X11ErrorTrap::succeeded()
{
    XSync(m_display, False);
    return m_errorCode == 0;
}

} // namespace corvane
