#pragma once

#include "viewwindow.h"

#include <QObject>

namespace corvane {

class FeedbackService;

// The feedback form's window, built on first use; each opening starts from an empty form.
class FeedbackWindow : public QObject
{
    Q_OBJECT

public:
    // The service must outlive the window.
    explicit FeedbackWindow(FeedbackService &feedback, QObject *parent = nullptr);
    ~FeedbackWindow() override;

    // Shows an empty form, raised and focused; false (logged) when it cannot be built.
    bool open();
    // Drops the form and asks the window to hand back its textures (before destruction).
    void releaseView();

    QQuickWindow *window() const { return m_window.window(); }

private:
    bool build();

    FeedbackService &m_feedback;
    ViewWindow m_window;
};

} // namespace corvane
