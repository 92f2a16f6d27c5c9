#pragma once

#include "platform/activationnotifier.h"

#include <map>

namespace corvane {

// Reports a change of the active window when the test says so.
class FakeActivationNotifier final : public ActivationNotifier
{
public:
    std::unique_ptr<Registration> observe(std::function<void()> handler) override;

    // Calls every registered handler, as when another window became active.
    void activate();
    int observerCount() const { return int(m_handlers.size()); }

private:
    std::map<int, std::function<void()>> m_handlers;
    int m_lastId = 0;
};

} // namespace corvane
