#include "benchsupport.h"

#include <QStringList>

namespace corvane::bench {

std::vector<int> historySizes()
{
    std::vector<int> sizes;
    const QString chosen = qEnvironmentVariable("CORVANE_BENCH_SIZES");
    for (const QString &piece : chosen.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool valid = false;
        const int size = piece.trimmed().toInt(&valid);
        if (valid && size > 0)
            sizes.push_back(size);
    }
    if (sizes.empty()) {
        sizes = { 10'000, 100'000 };
        if (qEnvironmentVariableIsSet("CORVANE_BENCH_LARGE"))
            sizes.push_back(1'000'000);
    }
    return sizes;
}

} // namespace corvane::bench
