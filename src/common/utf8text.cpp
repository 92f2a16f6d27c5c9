#include "utf8text.h"

#include <QChar>

#include <algorithm>

namespace corvane {

namespace {

unsigned char byteAt(QByteArrayView bytes, qsizetype at)
{
    return static_cast<unsigned char>(bytes[at]);
}

bool isContinuationByte(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length in bytes of the character a lead byte starts.
int sequenceLength(unsigned char lead)
{
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

// The code point of the UTF-8 character that starts at `at` (meant for valid UTF-8; a cut-off
// character reads as the replacement character).
char32_t codePointAt(QByteArrayView bytes, qsizetype at)
{
    const unsigned char lead = byteAt(bytes, at);
    const int length = sequenceLength(lead);
    if (length == 1)
        return lead;
    if (at + length > bytes.size())
        return QChar::ReplacementCharacter;
    char32_t value = lead & (0x3F >> (length - 1));
    for (int i = 1; i < length; ++i)
        value = (value << 6) | (byteAt(bytes, at + i) & 0x3F);
    return value;
}

} // namespace

qsizetype utf8CharacterStart(QByteArrayView bytes, qsizetype limit)
{
    if (limit >= bytes.size())
        return bytes.size();
    qsizetype start = std::max<qsizetype>(limit, 0);
    while (start > 0 && isContinuationByte(byteAt(bytes, start)))
        --start;
    return start;
}

QString decodedUtf8Start(QByteArrayView bytes, qsizetype limit)
{
    return QString::fromUtf8(bytes.first(utf8CharacterStart(bytes, limit)));
}

QByteArray withoutIncompleteUtf8End(QByteArray bytes)
{
    const qsizetype lastStart = utf8CharacterStart(bytes, bytes.size() - 1);
    if (lastStart >= 0 && lastStart < bytes.size()
        && lastStart + sequenceLength(byteAt(bytes, lastStart)) > bytes.size())
        bytes.truncate(lastStart);
    return bytes;
}

QByteArray trimmedUtf8(QByteArray bytes)
{
    qsizetype begin = 0;
    while (begin < bytes.size() && QChar::isSpace(codePointAt(bytes, begin)))
        begin += sequenceLength(byteAt(bytes, begin));
    qsizetype end = bytes.size();
    while (end > begin) {
        const qsizetype last = utf8CharacterStart(bytes, end - 1);
        if (!QChar::isSpace(codePointAt(bytes, last)))
            break;
        end = last;
    }
    bytes.truncate(end);
    bytes.remove(0, begin);
    return bytes;
}

QByteArray latin1AsUtf8(QByteArrayView latin1)
{
    const auto high = std::count_if(
        latin1.begin(), latin1.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    QByteArray utf8;
    utf8.reserve(latin1.size() + high);
    for (const char c : latin1) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8.append(c);
        } else {
            utf8.append(char(0xC0 | (byte >> 6)));
            utf8.append(char(0x80 | (byte & 0x3F)));
        }
    }
    return utf8;
}

} // namespace corvane
