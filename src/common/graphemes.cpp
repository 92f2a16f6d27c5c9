#include "graphemes.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include <memory>

namespace corvane {

namespace {

// Creating a break iterator loads ICU's rules, which is far slower than using one, so
// each thread keeps its own.
icu::BreakIterator *characterIterator()
{
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(created) : nullptr;
    }();
    return iterator.get();
}

// Walks the grapheme boundaries of text, calling visit(boundaryOffset) after each cluster
// until it returns false. Falls back to code points if ICU cannot give an iterator.
template <typename Visitor> void forEachBoundary(QStringView text, Visitor visit)
{
    if (text.isEmpty())
        return;
    icu::BreakIterator *iterator = characterIterator();
    UErrorCode status = U_ZERO_ERROR;
    UText *utext = nullptr;
    if (iterator) {
        utext = utext_openUChars(
            nullptr, reinterpret_cast<const UChar *>(text.utf16()), text.size(), &status);
    }
    if (!iterator || U_FAILURE(status)) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i;
            if (!visit(i + 1))
                break;
        }
        utext_close(utext);
        return;
    }
    iterator->setText(utext, status);
    iterator->first();
    for (int32_t boundary = iterator->next(); boundary != icu::BreakIterator::DONE;
         boundary = iterator->next()) {
        if (!visit(boundary))
            break;
    }
    // The iterator keeps a pointer into text; detach it before text may go away.
    iterator->setText(icu::UnicodeString());
    utext_close(utext);
}

} // namespace

qsizetype graphemeCount(QStringView text)
{
    qsizetype count = 0;
    forEachBoundary(text, [&count](qsizetype) {
        ++count;
        return true;
    });
    return count;
}

qsizetype graphemeCountUpTo(QStringView text, qsizetype limit)
{
    qsizetype count = 0;
    forEachBoundary(text, [&](qsizetype) { return ++count <= limit; });
    return count;
}

QString leftGraphemes(QStringView text, qsizetype count)
{
    if (count <= 0)
        return {};
    qsizetype seen = 0;
    qsizetype end = text.size();
    forEachBoundary(text, [&](qsizetype boundary) {
        if (++seen < count)
            return true;
        end = boundary;
        return false;
    });
    return text.first(end).toString();
}

} // namespace corvane
