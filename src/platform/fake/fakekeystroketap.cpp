#include "fakekeystroketap.h"

#include <QTextBoundaryFinder>

namespace corvane {

void FakeKeystrokeTap::type(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() >= 0) {
        const qsizetype end = finder.position();
        const QString character = text.mid(start, end - start);
        // Space, Return and Tab by their own keys, as the matcher knows them.
        std::uint16_t keyCode = 0;
        if (character == QLatin1String(" "))
            keyCode = 49;
        else if (character == QLatin1String("\n"))
            keyCode = 36;
        else if (character == QLatin1String("\t"))
            keyCode = 48;
        press(character, keyCode);
        start = end;
    }
}

} // namespace corvane
