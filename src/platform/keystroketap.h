#pragma once

#include <QString>

#include <cstdint>
#include <exception>
#include <functional>

namespace corvane {

// Observes every key press of the login session, whatever application is in front, and
// reports each one on the main thread. It only listens: no event is changed, swallowed or
// delayed. The bookkeeping (starting once, logging, secure input) lives here; a backend
// supplies the trust check and the session-wide observation itself.
class KeystrokeTap
{
public:
    // Why start failed: the process may not observe the keyboard, or it may but the system
    // refused to set up the observation.
    class StartFailure : public std::exception
    {
    public:
        enum class Reason { notTrusted, tapRefused };

        explicit StartFailure(Reason reason)
            : m_reason(reason)
        { }
        Reason reason() const { return m_reason; }
        const char *what() const noexcept override;

        bool operator==(const StartFailure &other) const { return m_reason == other.m_reason; }

    private:
        Reason m_reason;
    };

    // One key press: the characters it typed (at most 4 UTF-16 code units, empty for a dead
    // key or when nothing was typed), the macOS virtual key code of the key and the macOS
    // modifier flag bits held.
    using KeyHandler = std::function<void(
        const QString &characters, std::uint16_t keyCode, std::uint64_t flags)>;

    // The macOS modifier flag bits reported.
    static constexpr std::uint64_t shiftFlag = 0x20000;
    static constexpr std::uint64_t controlFlag = 0x40000;
    static constexpr std::uint64_t alternateFlag = 0x80000;
    static constexpr std::uint64_t commandFlag = 0x100000;
    // The key code of a key without a macOS counterpart (an unnamed extra key, a media key).
    static constexpr std::uint16_t unknownKeyCode = 0xffff;
    static constexpr int maximumCharacterUnits = 4;

    KeystrokeTap() = default;
    KeystrokeTap(const KeystrokeTap &) = delete;
    KeystrokeTap &operator=(const KeystrokeTap &) = delete;
    virtual ~KeystrokeTap();

    // Receives every reported key press; set it before starting. Without one, reports are
    // dropped.
    KeyHandler onKey;

    // Starts observing; does nothing when already running. Throws StartFailure (notTrusted
    // when the process may not observe the keyboard, tapRefused when setting it up failed),
    // leaving the tap stopped.
    void start();
    // Stops observing; safe when not running.
    void stop();
    bool isRunning() const { return m_running; }

protected:
    // Whether this process may observe and synthesise keyboard events session-wide.
    virtual bool isTrusted() = 0;
    // Begins delivering key presses through report(); false when that could not be set up.
    virtual bool open() = 0;
    // Stops delivering; only called after a successful open().
    virtual void close() = 0;
    // Whether a password field or similar holds secure keyboard input anywhere in the session.
    virtual bool isSecureInputEnabled() = 0;

    // Hands one key press to onKey, blanked out while secure input is on. Backends call it
    // on the main thread, only while running.
    void report(const QString &characters, std::uint16_t keyCode, std::uint64_t flags);

private:
    bool m_running = false;
};

} // namespace corvane
