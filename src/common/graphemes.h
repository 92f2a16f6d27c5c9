#pragma once

#include <QString>
#include <QStringView>

namespace corvane {

// Number of user-perceived characters (extended grapheme clusters) in text.
qsizetype graphemeCount(QStringView text);

// The first `count` user-perceived characters of text (all of it when it is shorter).
QString leftGraphemes(QStringView text, qsizetype count);

} // namespace corvane
