#include "iconimageprovider.h"

#include "appicons.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QHash>
#include <QIcon>
#include <QImageReader>
#include <QPainter>

namespace corvane {

namespace {

// Our symbol names and the freedesktop names a theme offers for them.
const QHash<QString, QString> &themeNames()
{
    static const QHash<QString, QString> names = {
        { QStringLiteral("magnifyingglass"), QStringLiteral("edit-find-symbolic") },
        { QStringLiteral("clock"), QStringLiteral("document-open-recent-symbolic") },
        { QStringLiteral("plus"), QStringLiteral("list-add-symbolic") },
        { QStringLiteral("xmark"), QStringLiteral("window-close-symbolic") },
        { QStringLiteral("xmark-circle"), QStringLiteral("edit-clear-symbolic") },
        { QStringLiteral("filter"), QStringLiteral("view-filter-symbolic") },
        { QStringLiteral("filter-active"), QStringLiteral("view-filter-symbolic") },
        { QStringLiteral("checkmark"), QStringLiteral("object-select-symbolic") },
        { QStringLiteral("checkmark-circle"), QStringLiteral("emblem-ok-symbolic") },
        { QStringLiteral("clipboard"), QStringLiteral("edit-paste-symbolic") },
        { QStringLiteral("photo"), QStringLiteral("image-x-generic-symbolic") },
        { QStringLiteral("paintpalette"), QStringLiteral("applications-graphics-symbolic") },
        { QStringLiteral("warning"), QStringLiteral("dialog-warning-symbolic") },
        { QStringLiteral("file"), QStringLiteral("text-x-generic") },
    };
    return names;
}

QSize sizeOr(const QSize &requested, int fallback)
{
    return requested.isValid() && !requested.isEmpty() ? requested : QSize(fallback, fallback);
}

QImage imageOf(const QIcon &icon, const QSize &size)
{
    return icon.pixmap(size).toImage();
}

} // namespace

IconImageProvider::IconImageProvider()
    : QQuickImageProvider(QQuickImageProvider::Image)
{ }

QImage IconImageProvider::ownSymbol(const QString &name, const QColor &color, const QSize &size)
{
    QFile file(QStringLiteral(":/qt/qml/Corvane/Ui/icons/") + name + QStringLiteral(".svg"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray svg = file.readAll();
    svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
    QBuffer buffer(&svg);
    QImageReader reader(&buffer, "svg");
    reader.setScaledSize(size);
    return reader.read();
}

QImage IconImageProvider::symbolImage(const QString &name, const QColor &color, const QSize &size)
{
    // Theme symbols are used only where a theme is set up; a bare X server has none, and our
    // drawings then keep every symbol visible in the panel's own colours.
    const QString themeName = themeNames().value(name);
    if (!QIcon::themeName().isEmpty() && QIcon::themeName() != QLatin1String("hicolor")
        && !themeName.isEmpty() && QIcon::hasThemeIcon(themeName)) {
        QImage image = imageOf(QIcon::fromTheme(themeName), size)
                           .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (!image.isNull()) {
            // Symbolic theme icons are drawn in one dark ink; the panel wants its own colour
            // (light on the dark appearance), so keep the shape and repaint it.
            QPainter painter(&image);
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(image.rect(), color);
            return image;
        }
    }
    return ownSymbol(name, color, size);
}

QImage IconImageProvider::iconImage(const QString &path, const QSize &size)
{
    const qsizetype slash = path.indexOf(QLatin1Char('/'));
    const QString kind = path.left(slash);
    const QString name = path.mid(slash + 1);
    if (slash > 0 && kind == QLatin1String("mime")) {
        const QIcon icon = QIcon::fromTheme(name);
        QImage image = icon.isNull() ? QImage() : imageOf(icon, size);
        if (image.isNull())
            image = ownSymbol(QStringLiteral("file"), QColor(0x99, 0x94, 0x8f), size);
        return image;
    }
    if (slash > 0 && kind == QLatin1String("app")) {
        const QIcon icon = AppIcons::icon(name);
        return icon.isNull() ? QImage() : imageOf(icon, size);
    }
    return {};
}

QImage IconImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    const QString key = id + QLatin1Char('@') + QString::number(requestedSize.width())
        + QLatin1Char('x') + QString::number(requestedSize.height());
    QMutexLocker locker(&m_mutex);
    if (const QImage *cached = m_cache.object(key)) {
        if (size)
            *size = cached->size();
        return *cached;
    }
    const QImage image = render(id, requestedSize);
    m_cache.insert(key, new QImage(image));
    if (size)
        *size = image.size();
    return image;
}

QImage IconImageProvider::render(const QString &id, const QSize &requestedSize)
{
    const QStringList parts = id.split(QLatin1Char('/'));
    QImage image;
    if (parts.size() == 3 && parts[0] == QLatin1String("symbol")) {
        image
            = symbolImage(parts[1], QColor(QLatin1Char('#') + parts[2]), sizeOr(requestedSize, 16));
    } else if (parts.size() == 2) {
        image = iconImage(id, sizeOr(requestedSize, parts[0] == QLatin1String("app") ? 26 : 52));
    }
    return image;
}

} // namespace corvane
