#include "historypanel.h"

#include "common/logging.h"
#include "panelcontent.h"
#include "platform/windowmanager.h"

#include <QCursor>
#include <QGuiApplication>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegion>
#include <QScreen>
#include <QTimer>

#include <chrono>
#include <cmath>

namespace corvane {

namespace {

constexpr int cornerRadius = 16;

// The panel's outline as a window shape. Without a compositing manager a transparent
// corner would show black; the shape cuts the corners away instead.
QRegion roundedRegion(const QSize &size, int radius)
{
    QRegion region(0, radius, size.width(), size.height() - 2 * radius);
    for (int row = 0; row < radius; ++row) {
        const double dy = radius - row - 0.5;
        const int inset = radius - int(std::lround(std::sqrt(double(radius * radius) - dy * dy)));
        const int width = size.width() - 2 * inset;
        region += QRect(inset, row, width, 1);
        region += QRect(inset, size.height() - 1 - row, width, 1);
    }
    return region;
}

} // namespace

HistoryPanel::HistoryPanel(
    HistoryModel &model, QString blobFolder, WindowManager &windowManager, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_blobFolder(std::move(blobFolder))
    , m_windowManager(windowManager)
{
    m_focusCheck.setSingleShot(true);
    m_focusCheck.setInterval(focusGraceMs);
    connect(&m_focusCheck, &QTimer::timeout, this, &HistoryPanel::checkFocus);
}

HistoryPanel::~HistoryPanel()
{
    // The view goes before the window it lives in, and both before the engine.
    m_content.reset();
    m_window.reset();
}

void HistoryPanel::build()
{
    if (m_window)
        return;
    m_engine = std::make_unique<QQmlEngine>();
    m_window = std::make_unique<QQuickWindow>();
    m_window->setTitle(QStringLiteral("Corvane"));
    // A utility window: no frame, above the others, and the window manager keeps it out of
    // the task bar; the shape and the colour let the view draw its own rounded background.
    m_window->setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    QSurfaceFormat format = m_window->format();
    format.setAlphaBufferSize(8);
    m_window->setFormat(format);
    m_window->setColor(Qt::transparent);

    m_content = std::make_unique<PanelContent>(*m_engine, m_model, m_blobFolder);
    m_content->onDismiss = [this] {
        if (onDismissRequested)
            onDismissRequested();
    };
    if (!m_content->create(m_window->contentItem()))
        qCCritical(lcHistory, "Could not show the history: its view failed to load");
    connect(m_window.get(), &QWindow::activeChanged, this, &HistoryPanel::activeChanged);
    // The window manager can only activate a window it has mapped; the first frame on
    // screen says it has.
    connect(m_window.get(), &QQuickWindow::frameSwapped, this, [this] {
        if (m_awaitingFirstFrame) {
            m_awaitingFirstFrame = false;
            // On the monotonic clock, so a benchmark can time a hot key press to this frame.
            qCDebug(lcHistory, "History panel on screen at %lld ns",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                    std::chrono::steady_clock::now().time_since_epoch())
                                           .count()));
        }
        if (m_awaitingFocus) {
            m_awaitingFocus = false;
            takeFocus();
        }
    });
}

bool HistoryPanel::isVisible() const
{
    return m_window && m_window->isVisible();
}

void HistoryPanel::place(const QRect &frame)
{
    m_window->setGeometry(frame);
    m_window->setMask(roundedRegion(frame.size(), cornerRadius));
    m_windowManager.makeFloatingPanel(m_window->winId());
}

void HistoryPanel::renderInvisibly(const QRect &frame)
{
    build();
    place(frame);
    // Rendering into an image builds the scene, lays out the view and loads the glyphs
    // without mapping the window, so nothing flashes on screen at start-up.
    const QImage frameImage = m_window->grabWindow();
    if (frameImage.isNull())
        qCWarning(lcHistory, "Could not render the history panel ahead of its first show");
    else
        qCDebug(lcHistory, "History panel rendered ahead of its first show");
}

void HistoryPanel::present(const QRect &frame)
{
    build();
    place(frame);
    // Qt may still count the window active from before it was hidden, when the focus left
    // it unmapped: it then reports no activation when the focus comes back, and it may
    // report that old loss after this show. So the focus counts as had once Qt reports an
    // activation or the X server says the panel holds it.
    m_hadFocus = false;
    m_awaitingFocus = true;
    m_awaitingFirstFrame = true;
    m_focusChecksLeft = focusChecks;
    m_windowManager.resetFocusRecord(m_window->winId());
    m_window->show();
    m_window->raise();
    m_content->focusSearch();
    takeFocus();
}

void HistoryPanel::takeFocus()
{
    if (!isVisible())
        return;
    m_windowManager.requestActivation(m_window->winId());
    m_focusCheck.start();
}

void HistoryPanel::checkFocus()
{
    if (!isVisible())
        return;
    const quint64 window = m_window->winId();
    if (m_windowManager.hasInputFocus(window)) {
        m_hadFocus = true;
        m_awaitingFocus = false;
        return;
    }
    if (m_windowManager.wasFocusedSinceReset(window)) {
        // It had the focus and the user took it elsewhere before this look, in a way Qt may
        // not report when it still counts the window active from before the last hide.
        m_awaitingFocus = false;
        m_hadFocus = false;
        if (onResignKey)
            onResignKey();
        return;
    }
    if (m_focusChecksLeft-- <= 0) {
        qCWarning(lcHistory, "Could not give the history panel the keyboard focus");
        return;
    }
    // Some window managers refuse activation requests for windows they think the user did
    // not ask for, or get them before they have mapped the window: the panel then takes the
    // keyboard itself, and looks again.
    qCDebug(lcHistory, "The history panel was not activated; it takes the keyboard focus");
    m_awaitingFocus = false;
    m_windowManager.forceInputFocus(window);
    m_focusCheck.start();
}

void HistoryPanel::orderOut()
{
    m_awaitingFocus = false;
    m_hadFocus = false;
    m_focusCheck.stop();
    if (m_window)
        m_window->hide();
}

QRect HistoryPanel::frame() const
{
    return m_window ? m_window->geometry() : QRect();
}

bool HistoryPanel::hasKeyboardFocus() const
{
    return m_window && m_window->isActive();
}

std::optional<QRect> HistoryPanel::availableGeometry() const
{
    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    return screen->availableGeometry();
}

QPoint HistoryPanel::pointerPosition() const
{
    return QCursor::pos();
}

void HistoryPanel::activeChanged()
{
    if (m_window->isActive()) {
        m_hadFocus = true;
        m_awaitingFocus = false;
        m_content->focusSearch();
        return;
    }
    // A loss from before the last hide that Qt reports only now is none: the server says.
    if (m_hadFocus && isVisible() && !m_windowManager.hasInputFocus(m_window->winId())) {
        m_hadFocus = false;
        if (onResignKey)
            onResignKey();
    }
}

} // namespace corvane
