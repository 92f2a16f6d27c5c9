#pragma once

#include <QCache>
#include <QMutex>
#include <QQuickImageProvider>

namespace corvane {

// Serves the panel's symbols and icons:
//   image://corvane-icon/symbol/<name>/<rrggbb>  symbolImage in that colour
//   image://corvane-icon/mime/<icon name>        a file type's icon, else our file symbol
//   image://corvane-icon/app/<application id>    an application's icon (AppIcons)
// Unknown requests give an empty image.
class IconImageProvider : public QQuickImageProvider
{
public:
    IconImageProvider();

    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;

    // Our drawing of a symbol in a colour, at a size.
    static QImage ownSymbol(const QString &name, const QColor &color, const QSize &size);
    // An icon by the provider's path ("app/<id>", "mime/<icon name>"); null when there is none.
    static QImage iconImage(const QString &path, const QSize &size);
    // The theme's symbol where a theme is set up, else ownSymbol.
    static QImage symbolImage(const QString &name, const QColor &color, const QSize &size);

private:
    QImage render(const QString &id, const QSize &requestedSize);

    QMutex m_mutex;
    // Every card asks for the same few symbols; each is drawn once per size and colour.
    QCache<QString, QImage> m_cache { 400 };
};

} // namespace corvane
