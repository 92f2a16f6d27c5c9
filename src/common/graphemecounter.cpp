#include "graphemecounter.h"

#include "common/graphemes.h"

#include <QString>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace corvane {

namespace {

// Whether a grapheme cluster ends between `before` and `after` whatever comes before or
// after the two, so that the text on either side can be counted on its own. The rules of
// Unicode's text segmentation (UAX #29) join two code points only when the second extends,
// joins or is a spacing mark, a regional indicator, a pictograph after a joiner, a Hangul
// syllable part after another, or the first is a prepended mark or CR before LF; with both
// code points of class "Other" or controls, and the second no pictograph, none applies, and
// no rule that looks further back can reach across the pair either.
bool clusterSurelyEndsBetween(UChar32 before, UChar32 after)
{
    if (before < 0 || after < 0)
        return false;
    if (before == u'\r' && after == u'\n')
        return false;
    if (before < 0x80 && after < 0x80)
        return true;
    const auto isPlain = [](UChar32 c) {
        switch (u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK)) {
        case U_GCB_OTHER:
        case U_GCB_CONTROL:
        case U_GCB_CR:
        case U_GCB_LF:
            return true;
        default:
            return false;
        }
    };
    return isPlain(before) && isPlain(after)
        && !u_hasBinaryProperty(after, UCHAR_EXTENDED_PICTOGRAPHIC);
}

// The last offset in text, after `from`, where a cluster surely ends and the text before it
// is whole code points; 0 when there is none. Searched from the end, where one is usually
// found within a few characters.
qsizetype lastSettledOffset(QByteArrayView text, qsizetype from)
{
    const auto *bytes = reinterpret_cast<const uint8_t *>(text.data());
    const auto size = int32_t(text.size());
    // A code point cut short by the piece's end reads as malformed, so no place next to it
    // counts as settled; neither does the end itself, with nothing after it yet.
    int32_t offset = size;
    UChar32 after = -1;
    while (offset > 0 && offset > from) {
        int32_t start = offset;
        UChar32 before = 0;
        // ICU's UTF-8 macros cast in the C way.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
        U8_PREV(bytes, 0, start, before);
#pragma GCC diagnostic pop
        if (clusterSurelyEndsBetween(before, after))
            return offset;
        after = before;
        offset = start;
    }
    return 0;
}

} // namespace

void GraphemeCounter::add(QByteArrayView utf8)
{
    if (m_ended || utf8.isEmpty())
        return;
    if (const qsizetype nul = utf8.indexOf('\0'); nul >= 0) {
        utf8 = utf8.first(nul);
        m_ended = true;
    }
    m_pending.append(utf8);
    countSettledPart();
}

void GraphemeCounter::countSettledPart()
{
    // The pair of code points straddling the old end was not looked at yet: searching goes
    // back one code point (at most four bytes) into what was searched before.
    const qsizetype settled
        = lastSettledOffset(m_pending, std::max<qsizetype>(m_searchedUpTo - 4, 0));
    if (settled == 0) {
        m_searchedUpTo = m_pending.size();
        return;
    }
    m_count += graphemeCount(QString::fromUtf8(QByteArrayView(m_pending).first(settled)));
    m_pending.remove(0, settled);
    // The search came back from the end to the settled place: what is left was searched.
    m_searchedUpTo = m_pending.size();
}

qsizetype GraphemeCounter::finish()
{
    m_count += graphemeCount(QString::fromUtf8(m_pending));
    m_pending.clear();
    m_ended = true;
    return m_count;
}

} // namespace corvane
