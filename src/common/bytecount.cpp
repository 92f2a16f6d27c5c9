#include "bytecount.h"

#include <QLocale>

#include <array>
#include <cmath>

namespace corvane {

namespace {

struct Unit
{
    const char *name;
    double size;
    int fractionDigits;
};

constexpr std::array<Unit, 6> units = { {
    { "KB", 1e3, 0 },
    { "MB", 1e6, 1 },
    { "GB", 1e9, 2 },
    { "TB", 1e12, 2 },
    { "PB", 1e15, 2 },
    { "EB", 1e18, 2 },
} };

double roundTo(double value, int fractionDigits)
{
    const double scale = std::pow(10.0, fractionDigits);
    return std::round(value * scale) / scale;
}

} // namespace

QString formatByteCount(std::int64_t bytes)
{
    if (bytes <= 0)
        return QStringLiteral("Zero KB");
    if (bytes == 1)
        return QStringLiteral("1 byte");
    if (bytes < 1000)
        return QString::number(bytes) + QStringLiteral(" bytes");

    // The unit is chosen after rounding, so 999,999 bytes read "1 MB" rather than "1,000 KB".
    const QLocale c = QLocale::c();
    for (std::size_t i = 0; i < units.size(); ++i) {
        const Unit &unit = units[i];
        const double value = roundTo(double(bytes) / unit.size, unit.fractionDigits);
        if (value < 1000.0 || i + 1 == units.size()) {
            QString number = c.toString(value, 'f', unit.fractionDigits);
            if (number.contains(QLatin1Char('.'))) {
                while (number.endsWith(QLatin1Char('0')))
                    number.chop(1);
                if (number.endsWith(QLatin1Char('.')))
                    number.chop(1);
            }
            return number + QLatin1Char(' ') + QLatin1String(unit.name);
        }
    }
    Q_UNREACHABLE();
}

} // namespace corvane
