#include "settingsfixture.h"

#include "candidates.h"
#include "eventloopwait.h"
#include "panel/historymodel.h"
#include "platform/fake/fakepanelwindow.h"
#include "platform/x11/desktopentries.h"
#include "preferences/preferences.h"
#include "store/clipstore.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QQuickWindow>
#include <QSet>
#include <QTest>

#include <chrono>

namespace corvane::test {

using namespace std::chrono_literals;

namespace {

QString applicationsFolder(const QTemporaryDir &folder)
{
    return folder.filePath(QStringLiteral("share/applications"));
}

} // namespace

SettingsFixture::SettingsFixture()
{
    QDir().mkpath(applicationsFolder(folder));
    // The icon lookup reads the XDG folders; only the fake entries are installed here.
    qputenv("XDG_DATA_DIRS", folder.filePath(QStringLiteral("share")).toUtf8());
    qputenv("XDG_DATA_HOME", folder.filePath(QStringLiteral("data-home")).toUtf8());
    const AppServices::Desktop desktop {
        .pasteboard = pasteboard,
        .workspace = workspace,
        .keystrokes = keystrokes,
        .input = input,
        .hotkeys = hotkeys,
        .activations = activations,
        .crashRecovery = crashRecovery,
        .hasKeyboardAccess = [] { return true; },
        .makeKeystrokeTap =
            [this] {
                auto made = std::make_unique<FakeKeystrokeTap>();
                tap = made.get();
                return made;
            },
        .makeKeystrokeSynthesizer =
            [this] {
                auto made = std::make_unique<FakeKeystrokeSynthesizer>();
                synthesizer = made.get();
                return made;
            },
        .makePanelWindow
        = [](HistoryModel &, const ClipStore &) { return std::make_unique<FakePanelWindow>(); },
    };
    services = std::make_unique<AppServices>(desktop, folder.filePath(QStringLiteral("Corvane")),
        folder.filePath(QStringLiteral("Corvane.conf")));
    services->start();

    loginItem = std::make_unique<LoginItem>(LoginItem::Environment {
        .systemctl = QStringLiteral("false"),
        .autostartFolder = autostartFolder(),
        .executablePath = QStringLiteral("/usr/bin/corvane"),
        .timeout = std::chrono::milliseconds(2000),
    });
    const QString applications = applicationsFolder(folder);
    const SettingsActions::Context context {
        .services = *services,
        .pasteboard = pasteboard,
        .hotkeys = hotkeys,
        .loginItem = loginItem.get(),
        .applications =
            [applications] {
                QList<InstalledApplication> found;
                for (const DesktopEntry &entry : DesktopEntries({ applications }).entries())
                    found << InstalledApplication { entry.id, entry.name };
                return found;
            },
        .executablePath = QStringLiteral("/home/ada/Downloads/corvane/bin/corvane"),
        .homeFolder = QStringLiteral("/home/ada"),
        .iconPath = qEnvironmentVariable("CORVANE_SOURCE_DIR")
            + QStringLiteral("/data/icons/com.ferrowen.corvane.svg"),
        .isWaylandSession = false,
    };
    settings = std::make_unique<SettingsWindow>(context);
    settings->actions().beep = [this] { ++beeps; };
    feedback = std::make_unique<FeedbackWindow>(services->feedback());
    settings->actions().onSendFeedback = [this] { feedback->open(); };
    // What the V key types, as a US layout would say.
    hotkeys.setKeyText(9, QStringLiteral("v"));
    tray = std::make_unique<TrayMenu>(*services, workspace);
    tray->onSendFeedback = [this] { feedback->open(); };
    taskbar = std::make_unique<TaskbarEntry>(services->preferences());
}

SettingsFixture::~SettingsFixture()
{
    taskbar.reset();
    tray.reset();
    // Items hand their textures back only while the window still renders: drop the view
    // first and let a frame pass, then the window; the scene graph deletes them later.
    settings->releaseView();
    feedback->releaseView();
    settle(50);
    settings.reset();
    feedback.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    loginItem.reset();
    services.reset();
}

void SettingsFixture::install(const QString &bundleID, const QString &name, const QColor &iconColor)
{
    const QDir folderOfEntries(applicationsFolder(folder));
    QByteArray icon = "accessories-text-editor";
    if (iconColor.isValid()) {
        QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(iconColor);
        painter.drawRoundedRect(QRectF(4, 4, 56, 56), 13, 13);
        painter.setPen(Qt::white);
        QFont font = painter.font();
        font.setPixelSize(34);
        font.setBold(true);
        painter.setFont(font);
        painter.drawText(QRectF(4, 4, 56, 56), Qt::AlignCenter, name.left(1));
        painter.end();
        const QString path = folderOfEntries.filePath(bundleID + QStringLiteral(".png"));
        image.save(path);
        icon = path.toUtf8();
    }
    QFile entry(folderOfEntries.filePath(bundleID + QStringLiteral(".desktop")));
    if (entry.open(QIODevice::WriteOnly)) {
        entry.write("[Desktop Entry]\nType=Application\nName=" + name.toUtf8()
            + "\nExec=/usr/bin/true\nIcon=" + icon + "\n");
    }
}

ClipItem SettingsFixture::addText(const QString &text, int minutesAgo)
{
    return services->store()
        .record(textCandidate(text, now() - std::chrono::minutes(minutesAgo)), 0, 0,
            ClipStore::payloadCapBytes)
        .value_or(ClipItem {});
}

bool SettingsFixture::open(QSize size)
{
    if (!settings->open())
        return false;
    settings->window()->resize(size);
    const bool exposed = spinUntil([this] { return settings->window()->isExposed(); }, 10s);
    settle();
    return exposed;
}

void SettingsFixture::settle(int milliseconds)
{
    spinUntil([] { return false; }, std::chrono::milliseconds(milliseconds));
    QCoreApplication::processEvents();
}

QQuickItem *SettingsFixture::find(const QString &objectName, QQuickWindow *in) const
{
    QQuickWindow *window = in ? in : settings->window();
    if (!window)
        return nullptr;
    // Loaders, scroll views and popups put items outside the QObject tree of the view, so
    // the search follows both the object and the visual trees.
    QList<QObject *> pending { window->contentItem() };
    QSet<QObject *> seen;
    while (!pending.isEmpty()) {
        QObject *object = pending.takeFirst();
        if (!object || seen.contains(object))
            continue;
        seen.insert(object);
        if (object->objectName() == objectName) {
            if (auto *item = qobject_cast<QQuickItem *>(object))
                return item;
            // A popup: its content.
            if (auto *content = qvariant_cast<QQuickItem *>(object->property("contentItem")))
                return content;
        }
        pending << object->children();
        if (auto *item = qobject_cast<QQuickItem *>(object)) {
            for (QQuickItem *child : item->childItems())
                pending << child;
        }
    }
    return nullptr;
}

void SettingsFixture::click(QQuickItem *item)
{
    if (!item)
        return;
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(settings->window(), Qt::LeftButton, {}, centre.toPoint());
    settle(60);
}

void SettingsFixture::key(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(settings->window(), key, modifiers);
    settle(30);
}

void SettingsFixture::type(const QString &text)
{
    for (const QChar character : text)
        QTest::keyClick(settings->window(), character.toLatin1());
    settle(30);
}

void SettingsFixture::showPane(int index)
{
    settings->showPane(index);
    settle();
}

QImage SettingsFixture::grab()
{
    return settings->window()->grabWindow();
}

QString SettingsFixture::autostartFolder() const
{
    return folder.filePath(QStringLiteral("autostart"));
}

QString SettingsFixture::settingsFile() const
{
    QFile file(services->preferences().settingsPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace corvane::test
