#include "feedbackwindow.h"

#include "app/feedbackservice.h"
#include "iconimageprovider.h"

#include <QLoggingCategory>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

namespace corvane {

Q_LOGGING_CATEGORY(lcFeedbackView, "com.ferrowen.corvane.feedback")

FeedbackWindow::FeedbackWindow(FeedbackService &feedback, QObject *parent)
    : QObject(parent)
    , m_feedback(feedback)
{ }

FeedbackWindow::~FeedbackWindow()
{
    delete m_view;
    m_window.reset();
}

bool FeedbackWindow::build()
{
    if (m_window)
        return true;
    m_engine = std::make_unique<QQmlEngine>();
    m_engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
    m_engine->addImageProvider(QStringLiteral("corvane-icon"), new IconImageProvider);
    QQmlComponent component(
        m_engine.get(), QUrl(QStringLiteral("qrc:/qt/qml/Corvane/Ui/FeedbackView.qml")));
    if (!component.isReady()) {
        qCCritical(lcFeedbackView).noquote()
            << "Could not load the feedback form:" << component.errorString();
        return false;
    }
    QObject *object = component.createWithInitialProperties(
        { { QStringLiteral("feedback"), QVariant::fromValue(&m_feedback) } });
    auto *item = qobject_cast<QQuickItem *>(object);
    if (!item) {
        qCCritical(lcFeedbackView).noquote()
            << "Could not create the feedback form:" << component.errorString();
        delete object;
        return false;
    }
    QQmlEngine::setObjectOwnership(item, QQmlEngine::CppOwnership);
    m_view = item;
    m_window = std::make_unique<QQuickWindow>();
    m_window->setTitle(QStringLiteral("Send Feedback"));
    m_window->resize(int(item->implicitWidth()), int(item->implicitHeight()));
    item->setParentItem(m_window->contentItem());
    item->setSize(m_window->size());
    connect(m_window.get(), &QWindow::widthChanged, item, [item](int w) { item->setWidth(w); });
    connect(m_window.get(), &QWindow::heightChanged, item, [item](int h) { item->setHeight(h); });
    connect(item, SIGNAL(closeRequested()), m_window.get(), SLOT(close()));
    return true;
}

bool FeedbackWindow::open()
{
    if (!build())
        return false;
    // A new form each time the window comes up (the view empties its fields as it shows).
    if (!m_window->isVisible())
        m_feedback.reset();
    m_window->show();
    m_window->raise();
    m_window->requestActivate();
    return true;
}

void FeedbackWindow::releaseView()
{
    delete m_view;
    if (m_window)
        m_window->releaseResources();
}

} // namespace corvane
