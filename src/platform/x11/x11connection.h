#pragma once

#include <functional>
#include <memory>

struct _XDisplay;
union _XEvent;

class QSocketNotifier;

namespace corvane {

// A connection of its own to the X server named by DISPLAY, whose events are handled from the
// Qt event loop as they arrive (no polling, no thread). Closed with the object.
class X11Connection
{
public:
    using EventHandler = std::function<void(_XEvent &event)>;

    // Opens the connection; isOpen() tells whether that worked.
    X11Connection();
    X11Connection(const X11Connection &) = delete;
    X11Connection &operator=(const X11Connection &) = delete;
    ~X11Connection();

    bool isOpen() const { return m_display != nullptr; }
    _XDisplay *display() const { return m_display; }

    // Hands every event to handler on the thread that created the connection, starting now.
    void setEventHandler(EventHandler handler);
    // Handles the events Xlib has already read, which the socket will not announce again.
    void dispatchPending();

private:
    _XDisplay *m_display = nullptr;
    std::unique_ptr<QSocketNotifier> m_notifier;
    EventHandler m_handler;
    // Cleared on destruction, which a handler may cause while events are being dispatched.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// Collects the errors of the requests made on a connection while it lives, instead of Xlib's
// default handler, which ends the process. Traps nest; the innermost one collects.
class X11ErrorTrap
{
public:
    explicit X11ErrorTrap(_XDisplay *display);
    X11ErrorTrap(const X11ErrorTrap &) = delete;
    X11ErrorTrap &operator=(const X11ErrorTrap &) = delete;
    ~X11ErrorTrap();

    // Waits until the server has handled every request so far; true when none failed.
    bool succeeded();
    // The code of the first failed request, or 0.
    int errorCode() const { return m_errorCode; }

private:
    friend struct X11ErrorTrapAccess;

    _XDisplay *m_display;
    X11ErrorTrap *m_previousTrap;
    // Xlib's handler type names a type that cannot be declared here; kept as a plain pointer.
    void (*m_previousHandler)();
    int m_errorCode = 0;
};

} // namespace corvane
