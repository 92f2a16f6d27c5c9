#include "feedbackwindow.h"

#include "app/feedbackservice.h"
#include "common/logging.h"

#include <QQuickItem>
#include <QQuickWindow>

namespace corvane {

FeedbackWindow::FeedbackWindow(FeedbackService &feedback, QObject *parent)
    : QObject(parent)
    , m_feedback(feedback)
    , m_window(QStringLiteral("Send Feedback"), QStringLiteral("FeedbackView.qml"),
          { { QStringLiteral("feedback"), QVariant::fromValue(&feedback) } }, lcFeedback())
{ }

FeedbackWindow::~FeedbackWindow() = default;

bool FeedbackWindow::build()
{
    if (m_window.window())
        return true;
    if (!m_window.build())
        return false;
    connect(m_window.view(), SIGNAL(closeRequested()), m_window.window(), SLOT(close()));
    return true;
}

bool FeedbackWindow::open()
{
    if (!build())
        return false;
    // A new form each time the window comes up (the view empties its fields as it shows).
    if (!m_window.window()->isVisible())
        m_feedback.reset();
    m_window.present();
    return true;
}

void FeedbackWindow::releaseView()
{
    m_window.releaseView();
}

} // namespace corvane
