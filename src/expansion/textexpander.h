#pragma once

#include "expansion/expansionmatcher.h"
#include "platform/activationnotifier.h"
#include "platform/keystrokesynthesizer.h"
#include "platform/keystroketap.h"

#include <QString>

#include <functional>
#include <memory>

namespace corvane {

// Connects the keystroke tap to the expansion matcher and carries out its decisions in
// whatever application the user is typing in: it erases the typed prefix and trigger and
// types the replacement. It knows nothing of snippets, emoji or settings; its trigger table
// and its ignore test are callbacks installed by its owner.
class TextExpander
{
public:
    // UTF-16 code units typed by one text-carrying key press at most.
    static constexpr qsizetype unitsPerTextPress = 16;

    // The activation notifier must outlive the expander.
    TextExpander(std::unique_ptr<KeystrokeTap> tap,
        std::unique_ptr<KeystrokeSynthesizer> synthesizer, ActivationNotifier &activationNotifier);
    TextExpander(const TextExpander &) = delete;
    TextExpander &operator=(const TextExpander &) = delete;
    ~TextExpander();

    // The current trigger table, asked on every key report; until set, an empty one.
    std::function<ExpansionMatcher::TriggerTable()> triggers;
    // Whether expansion is off in the frontmost application; until set, it never is.
    std::function<bool()> isFrontmostAppIgnored;

    // Sets the prefix and starts listening to the keyboard and to activations; on a running
    // expander it only sets the prefix. Throws KeystrokeTap::StartFailure when the tap cannot
    // start, keeping the new prefix.
    void start(const QString &prefix);
    // Stops listening and forgets what was typed; safe when stopped.
    void stop();
    bool isRunning() const { return m_tap->isRunning(); }

    // True only while an expansion is being typed.
    bool isExpanding() const { return m_isExpanding; }

    ExpansionMatcher &matcher() { return m_matcher; }
    const ExpansionMatcher &matcher() const { return m_matcher; }

private:
    void handleKey(const QString &characters, std::uint16_t keyCode, std::uint64_t flags);
    void perform(const ExpansionMatcher::Expansion &expansion);
    void typeInsertion(QStringView insertion);

    std::unique_ptr<KeystrokeTap> m_tap;
    std::unique_ptr<KeystrokeSynthesizer> m_synthesizer;
    ActivationNotifier &m_activationNotifier;
    ExpansionMatcher m_matcher;
    std::unique_ptr<ActivationNotifier::Registration> m_activationObserver;
    bool m_isExpanding = false;
};

} // namespace corvane
