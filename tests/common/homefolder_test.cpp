#include "common/homefolder.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(HomeFolder, OnlyAWholeLeadingHomeFolderBecomesATilde)
{
    struct Case
    {
        const char *folder;
        const char *home;
        const char *shown;
    };
    const Case cases[] = {
        { "/home/anna/.local/share/Corvane", "/home/anna", "~/.local/share/Corvane" },
        { "/home/anna//data/../data/Corvane/", "/home/anna/", "~/data/Corvane" },
        { "/home/anna", "/home/anna", "~" },
        { "/home/annabel/Corvane", "/home/anna", "/home/annabel/Corvane" },
        { "/srv/Corvane", "/home/anna", "/srv/Corvane" },
        { "/Corvane", "/", "/Corvane" },
    };
    for (const Case &c : cases)
        EXPECT_EQ(withHomeAsTilde(QString::fromUtf8(c.folder), QString::fromUtf8(c.home)),
            QString::fromUtf8(c.shown))
            << c.folder;
}

} // namespace
} // namespace corvane
