#include "x11activationnotifier.h"

#include "common/logging.h"
#include "platform/x11/x11connection.h"

#include <map>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace corvane {

namespace {

class X11ActivationNotifier final : public ActivationNotifier
{
public:
    std::unique_ptr<Registration> observe(std::function<void()> handler) override
    {
        const int id = ++m_lastId;
        m_handlers.emplace(id, std::move(handler));
        if (m_handlers.size() == 1)
            open();
        return std::make_unique<HandlerRegistration>(this, id);
    }

private:
    class HandlerRegistration final : public Registration
    {
    public:
        HandlerRegistration(X11ActivationNotifier *notifier, int id)
            : m_notifier(notifier)
            , m_id(id)
        { }
        ~HandlerRegistration() override { m_notifier->remove(m_id); }

    private:
        X11ActivationNotifier *m_notifier;
        int m_id;
    };

    void open()
    {
        m_connection = std::make_unique<X11Connection>();
        if (!m_connection->isOpen()) {
            qCWarning(lcExpansion,
                "Could not watch the active window: the X display cannot be "
                "opened");
            m_connection.reset();
            return;
        }
        Display *display = m_connection->display();
        m_activeWindowAtom = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
        XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask);
        m_connection->setEventHandler([this](XEvent &event) {
            if (event.type == PropertyNotify && event.xproperty.atom == m_activeWindowAtom) {
                // Window managers also rewrite the property with the window already active.
                const unsigned long window = activeWindow();
                if (window != m_activeWindow) {
                    m_activeWindow = window;
                    notify();
                }
            }
        });
        m_activeWindow = activeWindow();
    }

    unsigned long activeWindow() const
    {
        Display *display = m_connection->display();
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long remaining = 0;
        unsigned char *data = nullptr;
        unsigned long window = None;
        if (XGetWindowProperty(display, DefaultRootWindow(display), m_activeWindowAtom, 0, 1, False,
                XA_WINDOW, &type, &format, &count, &remaining, &data)
                == Success
            && data) {
            if (type == XA_WINDOW && format == 32 && count == 1)
                window = reinterpret_cast<const unsigned long *>(data)[0];
            XFree(data);
        }
        return window;
    }

    void notify()
    {
        // A handler may remove registrations, its own included.
        const auto handlers = m_handlers;
        for (const auto &[id, handler] : handlers) {
            if (m_handlers.contains(id) && handler)
                handler();
        }
    }

    void remove(int id)
    {
        m_handlers.erase(id);
        if (m_handlers.empty())
            m_connection.reset();
    }

    std::unique_ptr<X11Connection> m_connection;
    std::map<int, std::function<void()>> m_handlers;
    unsigned long m_activeWindowAtom = 0;
    unsigned long m_activeWindow = 0;
    int m_lastId = 0;
};

} // namespace

std::unique_ptr<ActivationNotifier> createX11ActivationNotifier()
{
    return std::make_unique<X11ActivationNotifier>();
}

} // namespace corvane
