#include "panelfixture.h"

#include "candidates.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTest>
#include <QUrl>

namespace corvane::test {

namespace {

Timestamp minutesBeforeNow(int minutes)
{
    return fromMillis(QDateTime::currentMSecsSinceEpoch() - minutes * 60'000LL);
}

} // namespace

PanelFixture::PanelFixture(QSize size)
{
    store = std::make_unique<ClipStore>(folder.filePath(QStringLiteral("Corvane")));
    preferences = std::make_unique<Preferences>(folder.filePath(QStringLiteral("Corvane.conf")));
    paster
        = std::make_unique<Paster>(*store, pasteboard, keystrokes, scheduler, [] { return true; });
    model = std::make_unique<HistoryModel>(*store, *preferences, *paster, scheduler, input);
    model->onDismiss = [this] { ++dismissCount; };

    window = std::make_unique<QQuickWindow>();
    window->setFlag(Qt::FramelessWindowHint);
    window->setColor(Qt::transparent);
    window->resize(size);
    engine = std::make_unique<QQmlEngine>();
    content = std::make_unique<PanelContent>(*engine, *model, store->blobDirectory());
    content->onDismiss = [this] { ++dismissCount; };
    view = content->create(window->contentItem());
}

PanelFixture::~PanelFixture()
{
    // Items hand their textures back only while the window still renders: drop the view
    // first and let a frame pass, then the window.
    delete view;
    view = nullptr;
    window->releaseResources();
    settle(50);
    window.reset();
    content.reset();
    engine.reset();
    // The scene graph hands its textures to deleteLater; without a turn of the event loop
    // they would outlive the test.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    model.reset();
}

ClipItem PanelFixture::record(ClipCandidate candidate, int minutesAgo)
{
    candidate.capturedAt = minutesBeforeNow(minutesAgo);
    return store->record(candidate, 0, 0, ClipStore::payloadCapBytes).value_or(ClipItem {});
}

ClipItem PanelFixture::addText(
    const QString &text, int minutesAgo, const QString &appID, const QString &appName)
{
    ClipCandidate candidate = textCandidate(text);
    if (!appID.isEmpty())
        candidate.sourceBundleID = appID;
    if (!appName.isEmpty())
        candidate.sourceAppName = appName;
    return record(candidate, minutesAgo);
}

ClipItem PanelFixture::addLink(const QString &url, const QString &title, int minutesAgo)
{
    ClipCandidate candidate = textCandidate(url);
    candidate.kind = ClipKind::link;
    candidate.title = title;
    candidate.subtitle = QUrl(url).host();
    candidate.sourceBundleID = QStringLiteral("org.mozilla.firefox");
    candidate.sourceAppName = QStringLiteral("Firefox");
    return record(candidate, minutesAgo);
}

ClipItem PanelFixture::addImage(QSize size, QColor from, QColor to, int minutesAgo)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    painter.fillRect(image.rect(), gradient);
    painter.setBrush(QColor(255, 255, 255, 90));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(size.width() * 0.7, size.height() * 0.35), size.height() * 0.22,
        size.height() * 0.22);
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");

    ClipCandidate candidate = imageCandidate(
        png, {}, QStringLiteral("Image %1 \u00d7 %2").arg(size.width()).arg(size.height()));
    candidate.sourceAppName = QStringLiteral("Screenshot");
    return record(candidate, minutesAgo);
}

ClipItem PanelFixture::addFile(const QString &path, std::int64_t bytes, int minutesAgo)
{
    ClipCandidate candidate = textCandidate(path);
    candidate.kind = ClipKind::file;
    candidate.title = QFileInfo(path).fileName();
    candidate.subtitle = QFileInfo(path).path();
    candidate.byteCount = bytes;
    candidate.sourceAppName = QStringLiteral("Files");
    return record(candidate, minutesAgo);
}

ClipItem PanelFixture::addColor(const QString &text, int minutesAgo)
{
    ClipCandidate candidate = textCandidate(text);
    candidate.kind = ClipKind::color;
    return record(candidate, minutesAgo);
}

std::int64_t PanelFixture::addPinboard(const QString &name, int colorIndex)
{
    return store->createPinboard(name, colorIndex).id;
}

void PanelFixture::file(const ClipItem &item, std::int64_t pinboardID)
{
    store->addItem(pinboardID, item.id);
}

void PanelFixture::fillRealisticHistory()
{
    const std::int64_t work = addPinboard(QStringLiteral("Work"), 1);
    const std::int64_t snippets = addPinboard(QStringLiteral("Snippets"), 3);
    addPinboard(QStringLiteral("Reading"), 4);

    const ClipItem signature = addText(
        QStringLiteral("Best regards,\nAda Lovelace\nAnalytical Engines Ltd."), 60 * 24 * 3);
    file(signature, snippets);
    store->setTrigger(signature.id, QStringLiteral("sig"));
    const ClipItem address
        = addText(QStringLiteral("221B Baker Street\nLondon NW1 6XE\nUnited Kingdom"), 60 * 24 * 9);
    file(address, snippets);
    store->setTrigger(address.id, QStringLiteral("addr"));
    const ClipItem brand = addColor(QStringLiteral("#FF6B35"), 60 * 24 * 2);
    file(brand, snippets);
    store->setTrigger(brand.id, QStringLiteral("orange"));
    file(addLink(QStringLiteral("https://wiki.example.org/onboarding/checklist"),
             QStringLiteral("Onboarding checklist"), 60 * 5),
        work);

    addFile(QStringLiteral("/home/ada/Documents/Quarterly report.pdf"), 2'437'120, 60 * 26);
    addColor(QStringLiteral("#3A7BD5"), 60 * 2);
    addImage(QSize(1600, 1000), QColor(0x1d, 0x4e, 0x89), QColor(0x5e, 0xc4, 0xb6), 34);
    addLink(QStringLiteral("https://doc.qt.io/qt-6/qtquick-index.html"),
        QStringLiteral("Qt Quick | Qt 6.4 documentation"), 12);
    addText(QStringLiteral("git rebase --interactive --autosquash origin/main"), 3,
        QStringLiteral("org.gnome.Terminal"), QStringLiteral("Terminal"));
    addText(QStringLiteral("Meeting moved to Thursday at 10:30\nRoom 4.12, second floor. Bring "
                           "the printed agenda and the budget figures for Q3."),
        0, QStringLiteral("org.gnome.TextEditor"), QStringLiteral("Text Editor"));
    model->reload();
}

bool PanelFixture::show()
{
    window->show();
    window->requestActivate();
    const bool active = QTest::qWaitForWindowActive(window.get(), 2000);
    settle(300);
    return active;
}

void PanelFixture::settle(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

namespace {

// Delegates of views and repeaters are children in the item tree only, not QObject children.
QQuickItem *findItem(QQuickItem *item, const QString &objectName)
{
    if (item->objectName() == objectName)
        return item;
    for (QQuickItem *child : item->childItems()) {
        if (QQuickItem *found = findItem(child, objectName))
            return found;
    }
    return nullptr;
}

} // namespace

QQuickItem *PanelFixture::find(const QString &objectName, QQuickItem *root) const
{
    // From the content item: popups live in the window's overlay, beside the view.
    return root ? findItem(root, objectName) : findItem(window->contentItem(), objectName);
}

void PanelFixture::type(const QString &text)
{
    for (const QChar c : text) {
        if (c == QLatin1Char('\n'))
            QTest::keyClick(window.get(), Qt::Key_Return);
        else
            QTest::keyClick(window.get(), c.toLatin1());
    }
}

QImage PanelFixture::grab()
{
    settle(200);
    return window->grabWindow();
}

} // namespace corvane::test
