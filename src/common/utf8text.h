#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace corvane {

// Helpers for text kept as the UTF-8 it arrived in. A copied text of megabytes takes twice
// its size once decoded, so capture and the store handle it as bytes and decode only the
// start that titles it.

// The largest offset at most `limit` that starts a character in the UTF-8 bytes (the size of
// the bytes when they are shorter than limit).
qsizetype utf8CharacterStart(QByteArrayView bytes, qsizetype limit);

// The characters in the first `limit` bytes of UTF-8, never splitting one.
QString decodedUtf8Start(QByteArrayView bytes, qsizetype limit);

// The bytes without a character cut off at their end, as a reader that stops mid-transfer or
// an owner that truncates leaves them.
QByteArray withoutIncompleteUtf8End(QByteArray bytes);

// Valid UTF-8 without the white space around it (as QString::trimmed sees white space),
// trimmed in place: no copy of the bytes is made when they are not shared.
QByteArray trimmedUtf8(QByteArray bytes);

// Latin-1 bytes as UTF-8.
QByteArray latin1AsUtf8(QByteArrayView latin1);

} // namespace corvane
