// Renders every pane of the settings window and the tray menu, light and dark, and writes
// PNGs into the folder given as the only argument. scripts/screenshots.sh runs it on Xvfb.

#include "panel/historymodel.h"
#include "preferences/preferences.h"
#include "settingsfixture.h"
#include "store/clipstore.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStyleFactory>

#include <cstdio>

using corvane::test::SettingsFixture;

namespace {

const char *const paneNames[]
    = { "general", "privacy", "history", "expansion", "ai-tools", "about" };

bool save(const QImage &image, const QString &path)
{
    if (image.isNull() || !image.save(path)) {
        std::fprintf(stderr, "Could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

void fill(SettingsFixture &fixture)
{
    // Two of the password managers on the default ignore list, and a terminal.
    fixture.install(QStringLiteral("org.keepassxc.KeePassXC"), QStringLiteral("KeePassXC"),
        QColor(0x4c, 0x9a, 0x3f));
    fixture.install(QStringLiteral("org.gnome.seahorse.Application"),
        QStringLiteral("Passwords and Keys"), QColor(0xc8, 0x8a, 0x1e));
    fixture.install(
        QStringLiteral("org.gnome.Terminal"), QStringLiteral("Terminal"), QColor(0x2e, 0x34, 0x36));
    corvane::Preferences &preferences = fixture.services->preferences();
    preferences.setExpansionIgnoredBundleIDs({ QStringLiteral("org.gnome.Terminal") });
    preferences.setEmojiAliases({ { QStringLiteral("party"), QStringLiteral("🎉") },
        { QStringLiteral("ok"), QStringLiteral("👌") },
        { QStringLiteral("ship"), QStringLiteral("🚀") } });
    preferences.setExpandsSnippets(true);
    const QStringList copies = {
        QStringLiteral("git rebase -i --autosquash origin/main"),
        QStringLiteral("https://www.freedesktop.org/wiki/Specifications/"),
        QStringLiteral("Meeting moved to Thursday 14:00, room 3.12 — bring the quarterly numbers"),
        QStringLiteral("SELECT name, count(*) FROM items GROUP BY name ORDER BY 2 DESC"),
        QStringLiteral("221B Baker Street, London NW1 6XE"),
    };
    for (int index = 0; index < copies.size(); ++index)
        fixture.addText(copies[index], 60 - index * 7);
    fixture.services->model().reload();
}

// The tray menu as it drops down from the icon, on a plain background.
QImage trayMenuImage(SettingsFixture &fixture, bool dark)
{
    QMenu *menu = fixture.tray->menu();
    QPalette palette = QApplication::palette();
    if (dark) {
        palette.setColor(QPalette::Window, QColor(0x2b, 0x2a, 0x29));
        palette.setColor(QPalette::WindowText, QColor(0xf0, 0xef, 0xed));
        palette.setColor(QPalette::Base, QColor(0x2b, 0x2a, 0x29));
        palette.setColor(QPalette::Text, QColor(0xf0, 0xef, 0xed));
        palette.setColor(QPalette::ButtonText, QColor(0xf0, 0xef, 0xed));
        palette.setColor(QPalette::Highlight, QColor(0x3d, 0x7b, 0xe0));
        palette.setColor(QPalette::HighlightedText, Qt::white);
        palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x7e, 0x7b));
        palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x7e, 0x7b));
        palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x7e, 0x7b));
        // Disabled entries are drawn etched in the light colour; keep the etching invisible.
        palette.setColor(QPalette::Disabled, QPalette::Light, QColor(0x2b, 0x2a, 0x29));
    }
    menu->setPalette(palette);
    menu->popup(QPoint(200, 40));
    fixture.settle(150);
    menu->setActiveAction(fixture.tray->recentItemActions().value(1));
    fixture.settle(80);
    const QImage image = menu->grab().toImage();
    menu->hide();
    return image;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings_screenshots FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    bool ok = true;
    for (const char *appearance : { "light", "dark" }) {
        qputenv("CORVANE_APPEARANCE", appearance);
        SettingsFixture fixture;
        fill(fixture);
        if (!fixture.open()) {
            std::fprintf(stderr, "The settings window could not be shown\n");
            return 1;
        }
        for (int pane = 0; pane < 6; ++pane) {
            fixture.showPane(pane);
            fixture.settle(250);
            ok &= save(fixture.grab(),
                QDir(folder).filePath(
                    QStringLiteral("settings-%1-%2.png")
                        .arg(QLatin1String(paneNames[pane]), QLatin1String(appearance))));
        }
        // The feedback form after a send this build cannot make.
        fixture.settings->actions().sendFeedback();
        fixture.settle(300);
        if (QQuickItem *message
            = fixture.find(QStringLiteral("message"), fixture.feedback->window()))
            message->setProperty(
                "text", QStringLiteral("The tray menu is lovely. Could it show pinboards too?"));
        if (QQuickItem *send = fixture.find(QStringLiteral("send"), fixture.feedback->window()))
            QMetaObject::invokeMethod(send, "clicked");
        fixture.settle(250);
        ok &= save(fixture.feedback->window()->grabWindow(),
            QDir(folder).filePath(
                QStringLiteral("feedback-%1.png").arg(QLatin1String(appearance))));
        fixture.feedback->window()->hide();
        ok &= save(trayMenuImage(fixture, QLatin1String(appearance) == QLatin1String("dark")),
            QDir(folder).filePath(
                QStringLiteral("tray-menu-%1.png").arg(QLatin1String(appearance))));
    }
    return ok ? 0 : 1;
}
