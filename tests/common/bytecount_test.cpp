#include "common/bytecount.h"

#include <gtest/gtest.h>
#include <limits>

namespace corvane {
namespace {

TEST(ByteCount, FormatsInDecimalUnitsLikeAFileManager)
{
    const struct
    {
        std::int64_t bytes;
        const char *text;
    } cases[] = {
        { -5, "Zero KB" },
        { 0, "Zero KB" },
        { 1, "1 byte" },
        { 2, "2 bytes" },
        { 999, "999 bytes" },
        { 1000, "1 KB" },
        { 1499, "1 KB" },
        { 1500, "2 KB" },
        { 12345, "12 KB" },
        { 999499, "999 KB" },
        { 999500, "1 MB" },
        { 1000000, "1 MB" },
        { 1250000, "1.3 MB" },
        { 1340000, "1.3 MB" },
        { 33554432, "33.6 MB" },
        { 999949999, "999.9 MB" },
        { 999950000, "1 GB" },
        { 4250000000, "4.25 GB" },
        { 4200000000, "4.2 GB" },
        { 1234567890123, "1.23 TB" },
        { std::numeric_limits<std::int64_t>::max(), "9.22 EB" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(formatByteCount(c.bytes), QString::fromLatin1(c.text)) << c.bytes;
}

} // namespace
} // namespace corvane
