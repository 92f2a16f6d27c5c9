// Key streams of any shape into the expansion matcher: characters of any length (broken
// surrogates, combining marks, emoji), any key code and modifier flags, with a prefix and
// triggers taken from the input. The buffer stays within its limit and an expansion never
// erases more than was typed.

#include "expansion/expansionmatcher.h"
#include "fuzzsupport.h"

#include <QCoreApplication>

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput input(data, size);
    ExpansionMatcher matcher(input.text(4));
    ExpansionMatcher::TriggerTable triggers;
    const std::uint8_t triggerCount = input.byte() % 6;
    for (int i = 0; i < triggerCount; ++i)
        triggers.insert(input.text(20), input.text(40));
    matcher.setTriggers(triggers);

    std::int64_t typedSinceExpansion = 0;
    while (!input.atEnd()) {
        const std::uint8_t flagsByte = input.byte();
        const std::uint16_t keyCode = input.byte();
        std::uint64_t flags = 0;
        if (flagsByte & 1)
            flags |= ExpansionMatcher::controlFlag;
        if (flagsByte & 2)
            flags |= ExpansionMatcher::commandFlag;
        if (flagsByte & 4)
            flags |= std::uint64_t(input.byte()) << 16;
        // Raw UTF-16 units, so unpaired surrogates reach the matcher too.
        const QByteArray units = input.bytes(16);
        const QString characters(
            reinterpret_cast<const QChar *>(units.constData()), units.size() / 2);
        if (flagsByte & 8)
            matcher.clearBuffer();
        if (flagsByte & 16)
            matcher.setPrefix(input.text(3));
        const auto expansion = matcher.feed(characters, keyCode, flags);
        FUZZ_CHECK(matcher.bufferLength() <= ExpansionMatcher::bufferLimit);
        typedSinceExpansion += characters.size() + 1;
        if (expansion) {
            FUZZ_CHECK(expansion->charactersToDelete > 0);
            FUZZ_CHECK(expansion->charactersToDelete <= ExpansionMatcher::bufferLimit + 1);
            FUZZ_CHECK(!expansion->trigger.isEmpty());
        }
        const auto peek = matcher.match();
        (void)peek;
    }
    (void)typedSinceExpansion;
    return 0;
}
