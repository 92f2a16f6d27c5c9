// The stored text form of the hot key: any text parses to a combination or to nothing, and a
// combination that parsed is written back as text that parses to the same combination.

#include "fuzzsupport.h"
#include "preferences/hotkeycombination.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto parsed = HotkeyCombination::fromRawValue(text);
    if (parsed) {
        const QString written = parsed->rawValue();
        FUZZ_CHECK(HotkeyCombination::fromRawValue(written) == parsed);
        FUZZ_CHECK(written
            == QString::number(parsed->keyCode) + u':' + QString::number(parsed->modifiers));
    }
    // Also the UTF-16 view of the raw bytes, for texts UTF-8 cannot carry.
    const QString units(reinterpret_cast<const QChar *>(data), qsizetype(size / 2));
    if (const auto other = HotkeyCombination::fromRawValue(units))
        FUZZ_CHECK(HotkeyCombination::fromRawValue(other->rawValue()) == other);
    return 0;
}
