// Renders the history panel over a realistic history and writes PNGs of its main states
// into the folder given as the only argument. scripts/screenshots.sh runs it on Xvfb.

#include "panelfixture.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QTest>

#include <cstdio>
#include <functional>

using corvane::test::PanelFixture;

namespace {

// A desktop entry for the terminal with an icon of its own, so the terminal's card shows
// an application icon where the others show their Ctrl+number hint. Only inside the private
// data folder the script sets up.
void installTerminalEntry()
{
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        return;
    const QDir applications(QString::fromLocal8Bit(dataHome) + QStringLiteral("/applications"));
    QDir().mkpath(applications.path());
    QImage icon(64, 64, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x2e, 0x34, 0x36));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(4, 4, 56, 56), 12, 12);
    painter.setPen(QPen(QColor(0x8a, 0xe2, 0x34), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QPolygonF({ QPointF(16, 22), QPointF(28, 32), QPointF(16, 42) }));
    painter.drawLine(QPointF(32, 44), QPointF(46, 44));
    painter.end();
    const QString iconPath = applications.filePath(QStringLiteral("terminal.png"));
    icon.save(iconPath);
    QFile entry(applications.filePath(QStringLiteral("org.gnome.Terminal.desktop")));
    if (entry.open(QIODevice::WriteOnly))
        entry.write("[Desktop Entry]\nType=Application\nName=Terminal\nIcon=" + iconPath.toUtf8()
            + "\nExec=true\n");
}

bool shoot(const QString &folder, const QString &name, const char *appearance,
    const std::function<void(PanelFixture &)> &prepare, QSize size = QSize(1240, 300))
{
    qputenv("CORVANE_APPEARANCE", appearance);
    PanelFixture panel(size);
    if (!panel.view) {
        std::fprintf(stderr, "The panel view could not be built\n");
        return false;
    }
    panel.fillRealisticHistory();
    panel.show();
    prepare(panel);
    const QImage image = panel.grab();
    const QString path = QDir(folder).filePath(name);
    if (!image.save(path)) {
        std::fprintf(stderr, "Could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: panel_screenshots FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    installTerminalEntry();
    bool ok = true;

    const auto nothing = [](PanelFixture &) {};
    ok &= shoot(folder, QStringLiteral("panel-light.png"), "light", nothing);
    ok &= shoot(folder, QStringLiteral("panel-dark.png"), "dark",
        [](PanelFixture &panel) { panel.model->select(2); });
    ok &= shoot(folder, QStringLiteral("pinboard.png"), "light", [](PanelFixture &panel) {
        panel.model->selectPinboard(2);
        panel.settle(200);
    });
    ok &= shoot(folder, QStringLiteral("empty-state.png"), "light",
        [](PanelFixture &panel) { panel.type(QStringLiteral(" invoice ")); });
    ok &= shoot(
        folder, QStringLiteral("filter-menu.png"), "dark",
        [](PanelFixture &panel) {
            panel.model->toggleKind(QStringLiteral("link"));
            panel.settle(100);
            if (QQuickItem *button = panel.find(QStringLiteral("filterButton")))
                QTest::mouseClick(panel.window.get(), Qt::LeftButton, {},
                    button->mapToScene(QPointF(button->width() / 2, button->height() / 2))
                        .toPoint());
        },
        QSize(1240, 420));
    ok &= shoot(folder, QStringLiteral("snippet-editor.png"), "light", [](PanelFixture &panel) {
        panel.model->selectPinboard(2);
        panel.settle(100);
        QQuickItem *tile = panel.find(QStringLiteral("newSnippetTile"));
        if (tile)
            QTest::mouseClick(panel.window.get(), Qt::LeftButton, {},
                tile->mapToScene(QPointF(100, 100)).toPoint());
        panel.settle(200);
        panel.type(QStringLiteral("Kind regards,\nAda"));
        QTest::keyClick(panel.window.get(), Qt::Key_Tab);
        panel.type(QStringLiteral("sig"));
        QTest::keyClick(panel.window.get(), Qt::Key_Return, Qt::ControlModifier);
    });
    ok &= shoot(folder, QStringLiteral("card-refusal.png"), "light", [](PanelFixture &panel) {
        // A snippet with a trigger must stay on a pinboard: dropping it on the Clipboard
        // tab is refused and the card says why.
        panel.model->selectPinboard(2);
        panel.settle(100);
        const corvane::ClipItem snippet = panel.model->items().front();
        panel.model->beginDrag(snippet);
        panel.model->dropDraggedItems(std::nullopt);
    });
    return ok ? 0 : 1;
}
