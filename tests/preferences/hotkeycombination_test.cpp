#include "preferences/hotkeycombination.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(HotkeyCombination, TextFormsParseOnlyAsTwoUnsigned32BitNumbers)
{
    const struct
    {
        const char *text;
        std::optional<HotkeyCombination> parsed;
    } rows[] = {
        { "9:768", HotkeyCombination { 9, 768 } },
        { "9::768", HotkeyCombination { 9, 768 } },
        { ":9:768:", HotkeyCombination { 9, 768 } },
        { "0:0", HotkeyCombination { 0, 0 } },
        { "4294967295:4294967295", HotkeyCombination { 4294967295u, 4294967295u } },
        { "007:0768", HotkeyCombination { 7, 768 } },
        { "9:", std::nullopt },
        { ":768", std::nullopt },
        { "9:768:1", std::nullopt },
        { "a:768", std::nullopt },
        { "9:76x", std::nullopt },
        { "4294967296:1", std::nullopt },
        { "1:99999999999999999999", std::nullopt },
        { "-1:768", std::nullopt },
        { "+9:768", std::nullopt },
        { " 9:768", std::nullopt },
        { "9.0:768", std::nullopt },
        { "٩:768", std::nullopt },
        { "", std::nullopt },
        { ":", std::nullopt },
    };
    for (const auto &row : rows) {
        const auto parsed = HotkeyCombination::fromRawValue(QString::fromUtf8(row.text));
        EXPECT_EQ(parsed, row.parsed) << row.text;
        // What parses is written back in the canonical form, which parses to the same.
        if (parsed) {
            EXPECT_EQ(HotkeyCombination::fromRawValue(parsed->rawValue()), parsed) << row.text;
        }
    }
}

} // namespace
} // namespace corvane
