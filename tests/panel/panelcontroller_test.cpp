// The panel controller over a fake window: where the panel goes, when it hides, where the
// focus goes back, and how it steps aside during a card drag.

#include "panel/panelcontroller.h"
#include "paneltestsupport.h"
#include "platform/fake/fakepanelwindow.h"
#include "platform/fake/fakeworkspace.h"

#include <gtest/gtest.h>

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

class PanelControllerTest : public PanelTest
{
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        workspace.setFrontmostApplication(editor);
        controller = std::make_unique<PanelController>(
            *model, window, workspace, keystrokes, input, scheduler, [this] { return now; });
    }

    void TearDown() override
    {
        controller.reset();
        PanelTest::TearDown();
    }

    const RunningApplication editor { QStringLiteral("org.example.Editor"),
        QStringLiteral("Editor"), 7 };
    FakePanelWindow window;
    FakeWorkspace workspace;
    PanelController::Clock::time_point now {};
    std::unique_ptr<PanelController> controller;
};

TEST(PanelFrame, SpansTheBottomOfTheAvailableAreaInsideItsMargins)
{
    struct Case
    {
        std::optional<QRect> available;
        QRect frame;
    };
    const Case cases[] = {
        // 1920 x 1080 with a 30-pixel dock along the bottom.
        { QRect(0, 0, 1920, 1050), QRect(24, 730, 1872, 296) },
        // A top bar and a second screen to the right.
        { QRect(1920, 25, 1512, 945), QRect(1944, 650, 1464, 296) },
        // No screen at all.
        { std::nullopt, QRect(24, 580, 1392, 296) },
    };
    for (const Case &test : cases)
        EXPECT_EQ(PanelController::panelFrame(test.available), test.frame);
}

TEST_F(PanelControllerTest, PrewarmRendersOnceUnseenAndShowTargetsTheFrontmostWindow)
{
    addText(QStringLiteral("one"), 1);
    controller->prewarm();
    controller->prewarm();
    EXPECT_EQ(window.invisibleRenders, 1);
    EXPECT_FALSE(window.visible);

    model->setSearch(QStringLiteral("leftover"));
    controller->show();
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(window.frame(), QRect(24, 730, 1872, 296));
    EXPECT_EQ(model->pasteTarget(), editor);
    EXPECT_TRUE(model->search().isEmpty());
    EXPECT_EQ(model->items().size(), 1u);
}

TEST_F(PanelControllerTest, ClickingElsewhereHidesAndGivesTheFocusBack)
{
    controller->show();
    window.loseFocus();
    EXPECT_FALSE(window.visible);
    ASSERT_EQ(keystrokes.activated.size(), 1u);
    EXPECT_EQ(keystrokes.activated.front(), editor);

    // Losing the focus after the panel is gone changes nothing more.
    window.loseFocus();
    EXPECT_EQ(keystrokes.activated.size(), 1u);
}

TEST_F(PanelControllerTest, AReopenRightAfterAHideKeepsThePanelHidden)
{
    controller->toggle();
    EXPECT_TRUE(window.visible);
    controller->hide();

    now += 200ms;
    controller->toggle();
    EXPECT_FALSE(window.visible);

    now += 350ms;
    controller->toggle();
    EXPECT_TRUE(window.visible);

    // The hot key has no guard.
    controller->togglePanel();
    EXPECT_FALSE(window.visible);
    controller->togglePanel();
    EXPECT_TRUE(window.visible);
}

TEST_F(PanelControllerTest, LosingTheFocusToACardDragKeepsThePanelUntilTheButtonIsUp)
{
    addText(QStringLiteral("dragged"), 1);
    controller->show();
    model->beginDrag(model->items().front());
    window.pointer = window.frame().center();

    input.mouseButtonPressed = true;
    window.loseFocus();
    scheduler.advance(100ms);
    EXPECT_TRUE(window.visible);

    input.mouseButtonPressed = false;
    scheduler.advance(100ms);
    EXPECT_FALSE(window.visible);
}

TEST_F(PanelControllerTest, ADragLeavingThePanelStepsAsideAndEscapeBringsItBack)
{
    addText(QStringLiteral("dragged"), 1);
    controller->show();
    model->beginDrag(model->items().front());

    // Within 60 pixels of the frame the panel stays.
    window.pointer = window.frame().topLeft() - QPoint(0, 59);
    scheduler.advance(50ms);
    EXPECT_TRUE(window.visible);

    window.pointer = window.frame().topLeft() - QPoint(0, 61);
    scheduler.advance(50ms);
    EXPECT_FALSE(window.visible);
    EXPECT_TRUE(controller->hasSteppedAside());
    EXPECT_TRUE(keystrokes.activated.empty());

    model->cancelDrag();
    EXPECT_TRUE(window.visible);
    EXPECT_FALSE(controller->hasSteppedAside());

    // A drop elsewhere after stepping aside ends the panel's work.
    model->beginDrag(model->items().front());
    scheduler.advance(50ms);
    ASSERT_TRUE(controller->hasSteppedAside());
    model->endDrag();
    EXPECT_FALSE(window.visible);
    EXPECT_FALSE(keystrokes.activated.empty());
}

} // namespace
} // namespace corvane::test
