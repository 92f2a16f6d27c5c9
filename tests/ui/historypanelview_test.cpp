#include "panelfixture.h"

#include <gtest/gtest.h>

namespace corvane::test {
namespace {

TEST(HistoryPanelView, Builds)
{
    PanelFixture panel;
    ASSERT_NE(panel.view, nullptr);
}

} // namespace
} // namespace corvane::test
