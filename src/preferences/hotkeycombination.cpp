#include "hotkeycombination.h"

#include <QList>

#include <limits>

namespace corvane {

namespace {

// QString::toUInt accepts a sign and surrounding spaces; the stored form has only digits.
std::optional<std::uint32_t> parseDecimal(QStringView piece)
{
    if (piece.isEmpty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (QChar c : piece) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + std::uint64_t(c.unicode() - u'0');
        if (value > std::numeric_limits<std::uint32_t>::max())
            return std::nullopt;
    }
    return std::uint32_t(value);
}

} // namespace

QString HotkeyCombination::rawValue() const
{
    return QString::number(keyCode) + u':' + QString::number(modifiers);
}

std::optional<HotkeyCombination> HotkeyCombination::fromRawValue(QStringView text)
{
    const QList<QStringView> pieces = text.split(u':', Qt::SkipEmptyParts);
    if (pieces.size() != 2)
        return std::nullopt;
    const std::optional<std::uint32_t> keyCode = parseDecimal(pieces[0]);
    const std::optional<std::uint32_t> modifiers = parseDecimal(pieces[1]);
    if (!keyCode || !modifiers)
        return std::nullopt;
    return HotkeyCombination { *keyCode, *modifiers };
}

} // namespace corvane
