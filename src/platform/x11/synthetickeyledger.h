#pragma once

#include <QElapsedTimer>

#include <cstdint>
#include <deque>

namespace corvane {

// The key presses this process posted and has not yet seen come back, shared by the
// synthesizer, which notes them, and the keystroke tap, which drops them when they return.
// Without it a replacement that contains prefix and trigger would expand itself without end,
// since on X11 every typed character comes back as a key press of its own.
class SyntheticKeyLedger
{
public:
    // How long a press is waited for: one that has not come back by then (the tap was not
    // running, say) is forgotten.
    static constexpr qint64 expiryMs = 2000;

    void notePosted(std::uint32_t keycode);
    // Whether this press is the next one posted here, which it then consumes. A press that
    // does not match (the user typing meanwhile) is not ours and leaves the ledger alone.
    bool takeIfPosted(std::uint32_t keycode);

private:
    struct Entry
    {
        std::uint32_t keycode;
        qint64 postedMs;
    };

    qint64 now() const;

    QElapsedTimer m_clock;
    std::deque<Entry> m_posted;
};

} // namespace corvane
