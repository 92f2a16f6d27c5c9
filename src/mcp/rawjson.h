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

} // namespace corvane
