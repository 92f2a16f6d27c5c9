#pragma once

#include <QObject>
#include <QRect>

#include <chrono>
#include <functional>
#include <optional>

namespace corvane {

class DelayScheduler;
class HistoryModel;
class InputDeviceState;
class PanelWindow;
class PasteKeystrokePoster;
class Workspace;

// Shows and hides the history panel: notes where the user came from before showing it,
// gives the focus back there on hiding, hides it when the user clicks elsewhere, and
// steps it aside while a card is dragged out of it. Main thread only.
class PanelController : public QObject
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;

    // The panel's height and its distance from the screen's left, right and bottom edges.
    static constexpr int panelHeight = 296;
    static constexpr int edgeMargin = 24;
    // A reopen this soon after a hide keeps the panel hidden: the click that hid it and the
    // launcher's reopen are one gesture.
    static constexpr std::chrono::milliseconds reopenGuard { 350 };
    // While a card is dragged, the panel steps aside once the pointer is this far outside it.
    static constexpr int stepAsideMargin = 60;
    static constexpr std::chrono::milliseconds stepAsideCheckInterval { 50 };
    // How long a lost focus during a card drag waits before it is looked at again.
    static constexpr std::chrono::milliseconds resignRecheckInterval { 100 };

    // Installs the model's dismiss and drag callbacks and the window's focus callbacks. All
    // references must outlive the controller; now is the clock of the reopen guard.
    PanelController(HistoryModel &model, PanelWindow &window, Workspace &workspace,
        PasteKeystrokePoster &activator, InputDeviceState &input, DelayScheduler &scheduler,
        std::function<Clock::time_point()> now = &Clock::now, QObject *parent = nullptr);
    ~PanelController() override;

    // The strip along the bottom of the visible area; a 1440 x 900 area when there is none.
    static QRect panelFrame(const std::optional<QRect> &availableGeometry);

    // Builds the panel and renders it once unseen, so the first show is immediate.
    void prewarm();
    // Notes the frontmost application as the paste target, resets the model and shows the
    // panel with the focus in its search field.
    void show();
    // Takes the panel away, ends any drag and gives the focus back to the paste target.
    void hide();
    // The reopen action: shows the panel, unless it is shown (or was hidden less than
    // reopenGuard ago), in which case it hides it.
    void toggle();
    // The hot key's action: hides a visible panel, shows it otherwise; no guard.
    void togglePanel();

    bool isVisible() const;
    bool hasSteppedAside() const { return m_steppedAside; }

private:
    void panelDidResignKey();
    void checkStepAside();

    HistoryModel &m_model;
    PanelWindow &m_window;
    Workspace &m_workspace;
    PasteKeystrokePoster &m_activator;
    InputDeviceState &m_input;
    DelayScheduler &m_scheduler;
    std::function<Clock::time_point()> m_now;
    std::optional<Clock::time_point> m_lastHiddenAt;
    // Present from show until hide; stepping aside keeps it.
    bool m_observingResign = false;
    bool m_steppedAside = false;
};

} // namespace corvane
