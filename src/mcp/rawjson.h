#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <optional>

namespace corvane {

// The text of the value of the member called key in a JSON object, exactly as it was
// written but without white space outside strings, so that numbers keep every digit (a
// parser would turn integers beyond 64 bits into doubles). When the key occurs more than
// once, the last occurrence counts, as with Qt's parser. Nothing when objectText is not an
// object or has no such member. objectText must already have passed a JSON parser; on
// anything else the result is nothing or meaningless, never a crash.
std::optional<QByteArray> rawJsonMember(QByteArrayView objectText, QStringView key);

// Whether text holds a character or an escape JSON does not allow: inside a string any byte
// below 0x20 must be escaped and a backslash may only start one of the escapes JSON defines;
// outside strings only space, tab, line feed and carriage return may appear. Qt's parser lets
// raw control characters and unknown escapes through inside strings, and an id echoed as
// written would carry them into the reply, where a strict client would fail on it.
bool containsForbiddenJsonCharacter(QByteArrayView text);

} // namespace corvane
