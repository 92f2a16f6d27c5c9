#include "textexpander.h"

#include "common/graphemes.h"
#include "common/logging.h"

namespace corvane {

TextExpander::TextExpander(std::unique_ptr<KeystrokeTap> tap,
    std::unique_ptr<KeystrokeSynthesizer> synthesizer, ActivationNotifier &activationNotifier)
    : triggers([] { return ExpansionMatcher::TriggerTable(); })
    , isFrontmostAppIgnored([] { return false; })
    , m_tap(std::move(tap))
    , m_synthesizer(std::move(synthesizer))
    , m_activationNotifier(activationNotifier)
    , m_matcher(QStringLiteral("::"))
{ }

TextExpander::~TextExpander()
{
    m_activationObserver.reset();
    m_tap->stop();
}

void TextExpander::start(const QString &prefix)
{
    m_matcher.setPrefix(prefix);
    // The tap belongs to this object, so the handler cannot outlive it.
    m_tap->onKey = [this](const QString &characters, std::uint16_t keyCode, std::uint64_t flags) {
        handleKey(characters, keyCode, flags);
    };
    m_tap->start();
    if (!m_activationObserver)
        m_activationObserver = m_activationNotifier.observe([this] { m_matcher.clearBuffer(); });
}

void TextExpander::stop()
{
    m_tap->stop();
    m_matcher.clearBuffer();
    m_activationObserver.reset();
}

void TextExpander::handleKey(const QString &characters, std::uint16_t keyCode, std::uint64_t flags)
{
    if (m_isExpanding)
        return;
    if (isFrontmostAppIgnored && isFrontmostAppIgnored()) {
        m_matcher.clearBuffer();
        return;
    }
    m_matcher.setTriggers(triggers ? triggers() : ExpansionMatcher::TriggerTable());
    if (const auto expansion = m_matcher.feed(characters, keyCode, flags))
        perform(*expansion);
}

void TextExpander::perform(const ExpansionMatcher::Expansion &expansion)
{
    m_isExpanding = true;
    // Without a way to post events nothing is erased or typed; the buffer is still emptied.
    if (m_synthesizer->begin()) {
        for (std::int64_t erased = 0; erased < expansion.charactersToDelete; ++erased)
            m_synthesizer->pressDelete();
        typeInsertion(expansion.insertion);
        m_synthesizer->end();
        qCInfo(lcExpansion, "Expanded a trigger of %lld characters",
            static_cast<long long>(graphemeCount(expansion.trigger)));
    }
    m_isExpanding = false;
    m_matcher.clearBuffer();
}

void TextExpander::typeInsertion(QStringView insertion)
{
    qsizetype start = 0;
    while (start < insertion.size()) {
        qsizetype end = std::min(start + unitsPerTextPress, insertion.size());
        // A press types whole characters: a surrogate pair or a CR LF line break is never
        // cut in two, which would type a broken character or two line breaks.
        if (end < insertion.size() && end - start > 1
            && ((insertion[end - 1].isHighSurrogate() && insertion[end].isLowSurrogate())
                || (insertion[end - 1] == u'\r' && insertion[end] == u'\n')))
            --end;
        m_synthesizer->typeText(insertion.mid(start, end - start));
        start = end;
    }
}

} // namespace corvane
