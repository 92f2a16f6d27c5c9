#pragma once

#include <QQuickImageProvider>

namespace corvane {

// Serves the panel's symbols and icons:
//   image://corvane-icon/symbol/<name>/<rrggbb>  a symbol from the icon theme, else our own
//                                                drawing of it in that colour
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
};

} // namespace corvane
