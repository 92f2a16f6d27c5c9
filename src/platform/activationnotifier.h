#pragma once

#include <functional>
#include <memory>

namespace corvane {

// Tells when another window or application becomes active, on the main thread.
class ActivationNotifier
{
public:
    // An active registration; destroying it removes it.
    class Registration
    {
    public:
        virtual ~Registration();
    };

    ActivationNotifier() = default;
    ActivationNotifier(const ActivationNotifier &) = delete;
    ActivationNotifier &operator=(const ActivationNotifier &) = delete;
    virtual ~ActivationNotifier();

    // Calls handler whenever the active window changes, until the registration is destroyed.
    // The registration must not outlive the notifier.
    virtual std::unique_ptr<Registration> observe(std::function<void()> handler) = 0;
};

} // namespace corvane
