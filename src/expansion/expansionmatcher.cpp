#include "expansionmatcher.h"

#include "common/graphemes.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>

namespace corvane {

namespace {

constexpr std::uint16_t resetKeyCodes[]
    = { 36, 48, 53, 76, 115, 116, 119, 121, 123, 124, 125, 126 };
constexpr std::uint16_t eraseKeyCodes[] = { 51, 117 };

bool isResetKey(std::uint16_t keyCode)
{
    return std::find(std::begin(resetKeyCodes), std::end(resetKeyCodes), keyCode)
        != std::end(resetKeyCodes);
}

bool isEraseKey(std::uint16_t keyCode)
{
    return std::find(std::begin(eraseKeyCodes), std::end(eraseKeyCodes), keyCode)
        != std::end(eraseKeyCodes);
}

bool isSingleCodePoint(QStringView text)
{
    return text.size() == 1
        || (text.size() == 2 && text[0].isHighSurrogate() && text[1].isLowSurrogate());
}

bool isPrintableAscii(QChar c)
{
    return c.unicode() >= 0x20 && c.unicode() < 0x7f;
}

// A character is white space when its first scalar is (as for "\r\n" or a space followed by a
// combining mark).
bool isWhiteSpace(QStringView character)
{
    if (character.isEmpty())
        return false;
    char32_t first = character[0].unicode();
    if (character[0].isHighSurrogate() && character.size() > 1 && character[1].isLowSurrogate())
        first = QChar::surrogateToUcs4(character[0], character[1]);
    return u_isUWhiteSpace(UChar32(first));
}

// Calls visit with each user-perceived character of text, in order.
template <typename Visitor> void forEachCharacter(QStringView text, Visitor visit)
{
    // A key report almost always carries one code point, which is one character.
    if (isSingleCodePoint(text)) {
        visit(text);
        return;
    }
    while (!text.isEmpty()) {
        // Grapheme boundaries depend only on what precedes them within the character, so
        // splitting the rest again from a boundary finds the same characters.
        qsizetype length = leftGraphemes(text, 1).size();
        if (length <= 0)
            length = text.size();
        visit(text.first(length));
        text = text.sliced(length);
    }
}

// Text made only of characters below U+00C0 is in every canonical normal form: none of them
// decomposes, and there is no combining mark among them to compose with.
bool isTriviallyNormalized(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0xc0; });
}

icu::UnicodeString aliasOf(QStringView text)
{
    return icu::UnicodeString(
        false, reinterpret_cast<const char16_t *>(text.utf16()), int32_t(text.size()));
}

bool isNormalized(QStringView text, const icu::Normalizer2 *normalizer)
{
    if (isTriviallyNormalized(text) || !normalizer)
        return true;
    UErrorCode status = U_ZERO_ERROR;
    const bool result = normalizer->isNormalized(aliasOf(text), status);
    return U_FAILURE(status) || result;
}

// The text in the normaliser's form; unchanged when ICU cannot normalise it.
QString normalized(QStringView text, const icu::Normalizer2 *normalizer)
{
    if (isNormalized(text, normalizer))
        return text.toString();
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString result = normalizer->normalize(aliasOf(text), status);
    if (U_FAILURE(status))
        return text.toString();
    return QString(reinterpret_cast<const QChar *>(result.getBuffer()), result.length());
}

const icu::Normalizer2 *nfd()
{
    static const icu::Normalizer2 *instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2 *normalizer = icu::Normalizer2::getNFDInstance(status);
        return U_SUCCESS(status) ? normalizer : nullptr;
    }();
    return instance;
}

const icu::Normalizer2 *nfc()
{
    static const icu::Normalizer2 *instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2 *normalizer = icu::Normalizer2::getNFCInstance(status);
        return U_SUCCESS(status) ? normalizer : nullptr;
    }();
    return instance;
}

QString decomposed(QStringView text)
{
    return normalized(text, nfd());
}

QString composed(QStringView text)
{
    return normalized(text, nfc());
}

// Canonical decomposition character by character, matching how the buffer is kept.
QString decomposedByCharacter(QStringView text)
{
    QString result;
    forEachCharacter(text, [&result](QStringView character) { result += decomposed(character); });
    return result;
}

} // namespace

ExpansionMatcher::ExpansionMatcher()
    : ExpansionMatcher(QStringLiteral("::"))
{ }

ExpansionMatcher::ExpansionMatcher(const QString &prefix)
{
    setPrefix(prefix);
}

void ExpansionMatcher::setPrefix(const QString &prefix)
{
    m_prefix = prefix;
    m_decomposedPrefix = decomposedByCharacter(prefix);
}

void ExpansionMatcher::setTriggers(const TriggerTable &triggers)
{
    if (m_triggers.isSharedWith(triggers))
        return;
    m_triggers = triggers;
    m_normalizedTriggers.reset();
}

void ExpansionMatcher::clearBuffer()
{
    m_buffer.clear();
    m_decomposed.clear();
    m_clusters.clear();
}

std::optional<ExpansionMatcher::Expansion> ExpansionMatcher::feed(
    QStringView characters, std::uint16_t keyCode, std::uint64_t flags)
{
    if (isResetKey(keyCode)) {
        clearBuffer();
        return std::nullopt;
    }
    if (isEraseKey(keyCode)) {
        if (!m_clusters.empty())
            removeLastCluster();
        return std::nullopt;
    }
    if ((flags & (commandFlag | controlFlag)) != 0 || characters.isEmpty()) {
        clearBuffer();
        return std::nullopt;
    }

    std::optional<Expansion> result;
    forEachCharacter(characters, [this, &result](QStringView character) {
        if (isWhiteSpace(character)) {
            if (auto expansion = pendingAtWordBreak(character))
                result = std::move(expansion);
            clearBuffer();
            return;
        }
        append(character);
        if (auto expansion = match())
            result = std::move(expansion);
    });
    return result;
}

std::optional<ExpansionMatcher::Expansion> ExpansionMatcher::match() const
{
    const std::optional<PrefixMatch> found = lastPrefix();
    if (!found || found->end == bufferLength())
        return std::nullopt;
    const QString candidate = m_buffer.sliced(m_clusters[found->end].start);
    std::optional<QString> replacement = replacementFor(candidate);
    if (!replacement || hasLongerTrigger(candidate))
        return std::nullopt;
    const qsizetype prefixLength = found->end - found->first;
    const qsizetype candidateLength = bufferLength() - found->end;
    return Expansion { prefixLength + candidateLength, *std::move(replacement), candidate };
}

std::optional<ExpansionMatcher::Expansion> ExpansionMatcher::pendingAtWordBreak(
    QStringView whiteSpace) const
{
    const std::optional<PrefixMatch> found = lastPrefix();
    if (!found || found->end == bufferLength())
        return std::nullopt;
    const QString candidate = m_buffer.sliced(m_clusters[found->end].start);
    std::optional<QString> replacement = replacementFor(candidate);
    if (!replacement)
        return std::nullopt;
    const qsizetype prefixLength = found->end - found->first;
    const qsizetype candidateLength = bufferLength() - found->end;
    // The word break itself has already been typed, so it is erased and typed again.
    return Expansion { prefixLength + candidateLength + 1, *replacement + whiteSpace, candidate };
}

void ExpansionMatcher::append(QStringView character)
{
    // Printable ASCII after printable ASCII always starts a new character and is its own
    // decomposition: the common case needs no segmentation or normalisation.
    if (character.size() == 1 && isPrintableAscii(character[0])
        && (m_buffer.isEmpty() || isPrintableAscii(m_buffer.back()))) {
        m_clusters.push_back({ m_buffer.size(), m_decomposed.size() });
        m_buffer += character[0];
        m_decomposed += character[0];
    } else if (m_clusters.empty()) {
        appendClusters(character);
    } else {
        // A combining mark, a skin-tone modifier, a second regional indicator or a joiner can
        // extend the last character instead of starting a new one, so the last character is
        // segmented again together with the new text.
        const Cluster last = m_clusters.back();
        const QString window = m_buffer.sliced(last.start) + character;
        m_clusters.pop_back();
        m_buffer.truncate(last.start);
        m_decomposed.truncate(last.decomposedStart);
        appendClusters(window);
    }
    if (bufferLength() > bufferLimit)
        dropFrontClusters(bufferLength() - bufferLimit);
}

void ExpansionMatcher::appendClusters(QStringView text)
{
    forEachCharacter(text, [this](QStringView character) {
        m_clusters.push_back({ m_buffer.size(), m_decomposed.size() });
        m_buffer += character;
        m_decomposed += decomposed(character);
    });
}

void ExpansionMatcher::removeLastCluster()
{
    const Cluster last = m_clusters.back();
    m_clusters.pop_back();
    m_buffer.truncate(last.start);
    m_decomposed.truncate(last.decomposedStart);
}

void ExpansionMatcher::dropFrontClusters(qsizetype count)
{
    const Cluster first = m_clusters[std::size_t(count)];
    m_buffer.remove(0, first.start);
    m_decomposed.remove(0, first.decomposedStart);
    m_clusters.erase(m_clusters.begin(), m_clusters.begin() + count);
    for (Cluster &cluster : m_clusters) {
        cluster.start -= first.start;
        cluster.decomposedStart -= first.decomposedStart;
    }
}

std::optional<ExpansionMatcher::PrefixMatch> ExpansionMatcher::lastPrefix() const
{
    if (m_decomposedPrefix.isEmpty())
        return std::nullopt;
    const QStringView haystack(m_decomposed);
    const QStringView needle(m_decomposedPrefix);
    const auto clusterAt = [this](qsizetype decomposedOffset) -> qsizetype {
        if (decomposedOffset == m_decomposed.size())
            return bufferLength();
        const auto found = std::lower_bound(m_clusters.begin(), m_clusters.end(), decomposedOffset,
            [](const Cluster &cluster, qsizetype offset) {
                return cluster.decomposedStart < offset;
            });
        if (found == m_clusters.end() || found->decomposedStart != decomposedOffset)
            return -1;
        return found - m_clusters.begin();
    };
    // Both sides are compared in canonical decomposition, and an occurrence counts only when
    // it covers whole characters: the "e" of a typed "é" is not a prefix.
    for (qsizetype from = haystack.size() - needle.size(); from >= 0;) {
        const qsizetype at = haystack.lastIndexOf(needle, from);
        if (at < 0)
            break;
        const qsizetype first = clusterAt(at);
        const qsizetype end = first < 0 ? -1 : clusterAt(at + needle.size());
        if (end >= 0)
            return PrefixMatch { first, end };
        from = at - 1;
    }
    return std::nullopt;
}

std::optional<QString> ExpansionMatcher::replacementFor(const QString &candidate) const
{
    if (m_triggers.isEmpty())
        return std::nullopt;
    if (const auto exact = m_triggers.constFind(candidate); exact != m_triggers.cend())
        return exact.value();
    // A trigger typed in another but canonically equivalent form (a composed "é" for a
    // decomposed one) is the same word.
    const TriggerTable &table = normalizedTriggers();
    if (const auto found = table.constFind(composed(candidate)); found != table.cend())
        return found.value();
    return std::nullopt;
}

bool ExpansionMatcher::hasLongerTrigger(const QString &candidate) const
{
    // Keys beginning with the candidate sort directly after it.
    const TriggerTable &table = normalizedTriggers();
    const QString key = composed(candidate);
    const auto next = table.upperBound(key);
    return next != table.cend() && next.key().startsWith(key);
}

const ExpansionMatcher::TriggerTable &ExpansionMatcher::normalizedTriggers() const
{
    if (m_normalizedTriggers)
        return *m_normalizedTriggers;
    const bool allComposed = std::all_of(m_triggers.keyBegin(), m_triggers.keyEnd(),
        [](const QString &key) { return isNormalized(key, nfc()); });
    if (allComposed) {
        m_normalizedTriggers = m_triggers;
        return *m_normalizedTriggers;
    }
    TriggerTable table;
    for (auto it = m_triggers.cbegin(); it != m_triggers.cend(); ++it) {
        const QString key = composed(it.key());
        // Of two keys with the same composition, the one already composed wins.
        if (key == it.key() || !table.contains(key))
            table.insert(key, it.value());
    }
    m_normalizedTriggers = std::move(table);
    return *m_normalizedTriggers;
}

} // namespace corvane
