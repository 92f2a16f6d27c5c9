#include "x11keystrokesynthesizer.h"

#include "common/logging.h"
#include "platform/x11/synthetickeyledger.h"
#include "platform/x11/x11connection.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <array>
#include <chrono>
#include <map>
#include <vector>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace corvane {

namespace {

using namespace std::chrono_literals;

// Spare key codes keep their characters this long after the last burst, so that the
// application typed into has long read them before they are unbound.
constexpr auto releaseDelay = 2s;
// Before a spare key code pressed this recently is bound to another character, the
// application must have had time to read the press with the old binding: it only fetches
// the keymap when it gets to the change notification, which is after the press.
constexpr auto rebindSettle = 150ms;

constexpr KeySym unicodeKeysymBase = 0x1000000;

KeySym keysymForCodePoint(char32_t codePoint)
{
    if ((codePoint >= 0x20 && codePoint <= 0x7e) || (codePoint >= 0xa0 && codePoint <= 0xff))
        return codePoint;
    return unicodeKeysymBase | codePoint;
}

class X11KeystrokeSynthesizer final : public KeystrokeSynthesizer
{
public:
    explicit X11KeystrokeSynthesizer(std::shared_ptr<SyntheticKeyLedger> ledger)
        : m_ledger(std::move(ledger))
    {
        m_releaseTimer.setSingleShot(true);
        m_releaseTimer.setInterval(releaseDelay);
        QObject::connect(&m_releaseTimer, &QTimer::timeout, [this] { releaseSpareKeys(); });
    }

    ~X11KeystrokeSynthesizer() override { releaseSpareKeys(); }

    bool begin() override
    {
        if (!ensureConnection())
            return false;
        m_releaseTimer.stop();
        Display *display = m_connection->display();
        readKeyboardMapping();

        XkbStateRec state {};
        XkbGetState(display, XkbUseCoreKbd, &state);
        // Caps Lock would turn every letter typed into its capital; it is back on at the end.
        m_relockCapsLock = (state.locked_mods & LockMask) != 0;
        if (m_relockCapsLock)
            XkbLockModifiers(display, XkbUseCoreKbd, LockMask, 0);
        // A layout's own keys type their first-level character only without modifiers in
        // the first group; otherwise everything goes through spare key codes, which type the
        // same character whatever is held.
        const unsigned numLockMask = XkbKeysymToModifiers(display, XK_Num_Lock);
        const unsigned heldModifiers = state.mods & ~(LockMask | numLockMask);
        m_usesLayoutKeys = heldModifiers == 0 && state.group == 0;
        // The last key of the trigger is usually still down: pressing it again would only
        // repeat it or be lost, so characters on held keys go through spare key codes.
        char keys[32] = {};
        XQueryKeymap(display, keys);
        for (int keycode = 0; keycode < 256; ++keycode)
            m_isHeld[size_t(keycode)] = (keys[keycode / 8] >> (keycode % 8)) & 1;
        return true;
    }

    void pressDelete() override { press(keycodeFor(XK_BackSpace)); }

    void typeText(QStringView text) override
    {
        std::vector<KeySym> keysyms;
        const QList<uint> codePoints = text.toUcs4();
        for (qsizetype index = 0; index < codePoints.size(); ++index) {
            const char32_t codePoint = codePoints[index];
            if (codePoint == '\r' || codePoint == '\n') {
                if (codePoint == '\r' && index + 1 < codePoints.size()
                    && codePoints[index + 1] == '\n')
                    ++index;
                keysyms.push_back(XK_Return);
            } else if (codePoint == '\t') {
                keysyms.push_back(XK_Tab);
            } else if (codePoint >= 0x20 && codePoint != 0x7f
                && !(codePoint >= 0x80 && codePoint < 0xa0)
                && !(codePoint >= 0xd800 && codePoint <= 0xdfff)) {
                keysyms.push_back(keysymForCodePoint(codePoint));
            }
        }
        bindSpareKeys(keysyms);
        for (KeySym keysym : keysyms)
            press(keycodeFor(keysym));
    }

    void end() override
    {
        Display *display = m_connection->display();
        if (m_relockCapsLock)
            XkbLockModifiers(display, XkbUseCoreKbd, LockMask, LockMask);
        XSync(display, False);
        if (!m_bound.empty())
            m_releaseTimer.start();
    }

private:
    struct Binding
    {
        KeySym keysym;
        QElapsedTimer lastPressed;
    };

    bool ensureConnection()
    {
        if (m_connection)
            return true;
        auto connection = std::make_unique<X11Connection>();
        if (!connection->isOpen())
            return false;
        int event = 0;
        int error = 0;
        int major = 0;
        int minor = 0;
        if (!XTestQueryExtension(connection->display(), &event, &error, &major, &minor)) {
            qCWarning(lcExpansion, "Could not type: the X server offers no XTest");
            return false;
        }
        // Let the server deliver our events even while another client grabs the server.
        XTestGrabControl(connection->display(), True);
        m_connection = std::move(connection);
        return true;
    }

    void readKeyboardMapping()
    {
        Display *display = m_connection->display();
        XDisplayKeycodes(display, &m_minKeycode, &m_maxKeycode);
        int perKeycode = 0;
        KeySym *keysyms = XGetKeyboardMapping(
            display, KeyCode(m_minKeycode), m_maxKeycode - m_minKeycode + 1, &perKeycode);
        m_layoutKeys.clear();
        m_spare.clear();
        if (!keysyms)
            return;
        for (int keycode = m_minKeycode; keycode <= m_maxKeycode; ++keycode) {
            const KeySym *row = keysyms + (keycode - m_minKeycode) * perKeycode;
            const bool isEmpty = std::all_of(
                row, row + perKeycode, [](KeySym keysym) { return keysym == NoSymbol; });
            const auto bound = m_bound.find(keycode);
            const bool isOurs
                = bound != m_bound.end() && perKeycode > 0 && row[0] == bound->second.keysym;
            if (bound != m_bound.end() && !isOurs)
                m_bound.erase(bound); // the keymap was replaced since
            if (isEmpty || isOurs)
                m_spare.push_back(keycode);
            else if (perKeycode > 0 && row[0] != NoSymbol)
                m_layoutKeys.emplace(row[0], keycode);
        }
        XFree(keysyms);
    }

    int keycodeFor(KeySym keysym) const
    {
        const bool isEditingKey = keysym == XK_BackSpace || keysym == XK_Return || keysym == XK_Tab;
        if (m_usesLayoutKeys || isEditingKey) {
            const auto layoutKey = m_layoutKeys.find(keysym);
            if (layoutKey != m_layoutKeys.end() && !m_isHeld[size_t(layoutKey->second)])
                return layoutKey->second;
        }
        for (const auto &[keycode, binding] : m_bound) {
            if (binding.keysym == keysym)
                return keycode;
        }
        return 0;
    }

    // Binds the keysyms typed next that have no key yet to spare key codes, evicting the
    // least recently pressed bindings the text does not need.
    void bindSpareKeys(const std::vector<KeySym> &keysyms)
    {
        std::vector<KeySym> missing;
        for (KeySym keysym : keysyms) {
            if (keycodeFor(keysym) == 0
                && std::find(missing.begin(), missing.end(), keysym) == missing.end())
                missing.push_back(keysym);
        }
        if (missing.empty())
            return;

        std::vector<int> free;
        for (int keycode : m_spare) {
            if (!m_bound.contains(keycode))
                free.push_back(keycode);
        }
        std::vector<int> evictable;
        for (const auto &[keycode, binding] : m_bound) {
            if (std::find(keysyms.begin(), keysyms.end(), binding.keysym) == keysyms.end())
                evictable.push_back(keycode);
        }
        std::sort(evictable.begin(), evictable.end(), [this](int left, int right) {
            return m_bound.at(left).lastPressed.elapsed() > m_bound.at(right).lastPressed.elapsed();
        });
        auto nextEvictable = evictable.begin();
        std::map<int, KeySym> changes;
        for (KeySym keysym : missing) {
            int keycode = 0;
            if (!free.empty()) {
                keycode = free.back();
                free.pop_back();
            } else if (nextEvictable != evictable.end()) {
                keycode = *nextEvictable++;
                settleBeforeRebinding(m_bound.at(keycode));
            } else {
                qCWarning(lcExpansion, "Could not type every character: no spare key code left");
                break;
            }
            changes[keycode] = keysym;
        }
        qCDebug(lcExpansion, "Binding %zu characters to spare key codes (%zu spare, %zu free)",
            changes.size(), m_spare.size(), free.size());
        applyBindings(changes);
    }

    void settleBeforeRebinding(const Binding &binding)
    {
        if (!binding.lastPressed.isValid())
            return;
        const auto sincePressed = std::chrono::milliseconds(binding.lastPressed.elapsed());
        if (sincePressed >= rebindSettle)
            return;
        XSync(m_connection->display(), False);
        QThread::msleep(static_cast<unsigned long>((rebindSettle - sincePressed).count()));
    }

    void applyBindings(const std::map<int, KeySym> &changes)
    {
        for (const auto &[keycode, keysym] : changes)
            m_bound[keycode] = Binding { keysym, QElapsedTimer() };
        writeMapping(changes);
    }

    // One keymap change per run of adjacent key codes: every change makes each client on
    // the display fetch its keymap again.
    void writeMapping(const std::map<int, KeySym> &changes)
    {
        Display *display = m_connection->display();
        std::vector<KeySym> run;
        int runStart = 0;
        const auto flush = [&] {
            if (!run.empty())
                XChangeKeyboardMapping(display, runStart, 2, run.data(), int(run.size() / 2));
            run.clear();
        };
        int previous = -2;
        for (const auto &[keycode, keysym] : changes) {
            if (keycode != previous + 1) {
                flush();
                runStart = keycode;
            }
            // The same keysym on both levels, so Shift held by the user changes nothing.
            run.push_back(keysym);
            run.push_back(keysym);
            previous = keycode;
        }
        flush();
    }

    void press(int keycode)
    {
        if (keycode == 0)
            return;
        Display *display = m_connection->display();
        XTestFakeKeyEvent(display, unsigned(keycode), True, CurrentTime);
        XTestFakeKeyEvent(display, unsigned(keycode), False, CurrentTime);
        if (m_ledger)
            m_ledger->notePosted(std::uint32_t(keycode));
        const auto bound = m_bound.find(keycode);
        if (bound != m_bound.end())
            bound->second.lastPressed.start();
    }

    void releaseSpareKeys()
    {
        m_releaseTimer.stop();
        if (!m_connection || m_bound.empty())
            return;
        // Only key codes still holding what we bound: the keymap may have been replaced.
        readKeyboardMapping();
        std::map<int, KeySym> changes;
        for (const auto &[keycode, binding] : m_bound)
            changes[keycode] = NoSymbol;
        writeMapping(changes);
        m_bound.clear();
        XSync(m_connection->display(), False);
    }

    std::shared_ptr<SyntheticKeyLedger> m_ledger;
    std::unique_ptr<X11Connection> m_connection;
    QTimer m_releaseTimer;
    int m_minKeycode = 0;
    int m_maxKeycode = 0;
    std::map<KeySym, int> m_layoutKeys;
    std::vector<int> m_spare;
    std::map<int, Binding> m_bound;
    std::array<bool, 256> m_isHeld {};
    bool m_relockCapsLock = false;
    bool m_usesLayoutKeys = false;
};

} // namespace

std::unique_ptr<KeystrokeSynthesizer> createX11KeystrokeSynthesizer(
    std::shared_ptr<SyntheticKeyLedger> ledger)
{
    return std::make_unique<X11KeystrokeSynthesizer>(std::move(ledger));
}

} // namespace corvane
