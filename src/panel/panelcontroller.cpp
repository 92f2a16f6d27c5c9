#include "panelcontroller.h"

#include "common/largeblocks.h"
#include "panel/delayscheduler.h"
#include "panel/historymodel.h"
#include "panel/panelwindow.h"
#include "platform/inputdevicestate.h"
#include "platform/pastekeystrokeposter.h"
#include "platform/workspace.h"

#include <QPointer>

namespace corvane {

PanelController::PanelController(HistoryModel &model, PanelWindow &window, Workspace &workspace,
    PasteKeystrokePoster &activator, InputDeviceState &input, DelayScheduler &scheduler,
    std::function<Clock::time_point()> now, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_window(window)
    , m_workspace(workspace)
    , m_activator(activator)
    , m_input(input)
    , m_scheduler(scheduler)
    , m_now(std::move(now))
{
    // The model and the window live as long as the service graph, and so does this
    // controller; QPointer keeps a late callback from reaching a controller torn down first.
    const QPointer<PanelController> self(this);
    m_model.onDismiss = [self] {
        if (self)
            self->hide();
    };
    m_model.onDragStarted = [self] {
        if (!self)
            return;
        self->m_steppedAside = false;
        self->m_scheduler.runAfter(
            stepAsideCheckInterval, self, [self] { self->checkStepAside(); });
    };
    m_model.onDragEnded = [self] {
        // The drop went somewhere under the panel; its work is done.
        if (self && self->m_steppedAside)
            self->hide();
    };
    m_model.onDragCancelled = [self] {
        // Escape during a drag outside the panel brings it back for another choice.
        if (self && self->m_steppedAside) {
            self->m_steppedAside = false;
            self->show();
        }
    };
    m_window.onResignKey = [self] {
        if (self)
            self->panelDidResignKey();
    };
    m_window.onDismissRequested = [self] {
        if (self)
            self->hide();
    };
}

PanelController::~PanelController()
{
    m_model.onDismiss = nullptr;
    m_model.onDragStarted = nullptr;
    m_model.onDragEnded = nullptr;
    m_model.onDragCancelled = nullptr;
    m_window.onResignKey = nullptr;
    m_window.onDismissRequested = nullptr;
}

QRect PanelController::panelFrame(const std::optional<QRect> &availableGeometry)
{
    const QRect area = availableGeometry.value_or(QRect(0, 0, 1440, 900));
    // Screen coordinates grow downwards: the strip sits edgeMargin above the bottom edge.
    return QRect(area.x() + edgeMargin, area.y() + area.height() - edgeMargin - panelHeight,
        area.width() - 2 * edgeMargin, panelHeight);
}

void PanelController::prewarm()
{
    if (m_window.isBuilt())
        return;
    m_window.build();
    m_window.renderInvisibly(panelFrame(m_window.availableGeometry()));
}

void PanelController::show()
{
    // Asked before anything of ours takes the focus, so it names where the user was.
    m_model.prepareForPresentation(m_workspace.frontmostApplication());
    m_window.build();
    m_window.present(panelFrame(m_window.availableGeometry()));
    m_observingResign = true;
}

void PanelController::hide()
{
    const bool wasVisible = isVisible();
    if (wasVisible)
        m_lastHiddenAt = m_now();
    m_model.endDrag(true);
    m_window.orderOut();
    m_observingResign = false;
    if (const auto &target = m_model.pasteTarget())
        m_activator.activate(*target);
    // Memory freed while the panel was in use (search results, cards) lies between blocks
    // still in use in the allocator's per-thread heaps, which keep it resident: after four
    // minutes of heavy use one of them held 12 MB free. Handing it back takes a millisecond
    // or two, here where the user is done with the panel.
    if (wasVisible)
        returnFreedMemory();
}

void PanelController::toggle()
{
    const bool guarded = m_lastHiddenAt && m_now() - *m_lastHiddenAt < reopenGuard;
    if (!isVisible() && !guarded) {
        show();
        return;
    }
    hide();
}

void PanelController::togglePanel()
{
    if (isVisible())
        hide();
    else
        show();
}

bool PanelController::isVisible() const
{
    return m_window.isBuilt() && m_window.isVisible();
}

void PanelController::panelDidResignKey()
{
    if (!m_observingResign)
        return;
    if (m_model.isDraggingItem() && m_input.isMouseButtonPressed()) {
        // A card is being dragged out of the panel: the focus went with the drag, not
        // elsewhere. Look again shortly, unless the panel has the focus back by then.
        const QPointer<PanelController> self(this);
        m_scheduler.runAfter(resignRecheckInterval, this, [self] {
            if (self->m_observingResign && !self->m_window.hasKeyboardFocus())
                self->panelDidResignKey();
        });
        return;
    }
    hide();
}

void PanelController::checkStepAside()
{
    if (!m_model.isDraggingItem() || m_steppedAside || !m_window.isBuilt())
        return;
    const QRect area = m_window.frame().adjusted(
        -stepAsideMargin, -stepAsideMargin, stepAsideMargin, stepAsideMargin);
    if (!area.contains(m_window.pointerPosition())) {
        // Out of the way so the drop can land on what lies under the panel; the paste
        // target and the focus observation stay for when the drag ends.
        m_steppedAside = true;
        m_window.orderOut();
        return;
    }
    const QPointer<PanelController> self(this);
    m_scheduler.runAfter(stepAsideCheckInterval, this, [self] { self->checkStepAside(); });
}

} // namespace corvane
