#pragma once

#include <QString>
#include <QStringView>

namespace corvane {

// Number of user-perceived characters (extended grapheme clusters) in text.
qsizetype graphemeCount(QStringView text);

// Like graphemeCount, but stops counting past limit: the result is at most limit + 1, so
// asking whether a long text is short costs no more than reading its start.
qsizetype graphemeCountUpTo(QStringView text, qsizetype limit);

// The first `count` user-perceived characters of text (all of it when it is shorter).
QString leftGraphemes(QStringView text, qsizetype count);

} // namespace corvane
