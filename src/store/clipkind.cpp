#include "clipkind.h"

namespace corvane {

QString storedString(ClipKind kind)
{
    switch (kind) {
    case ClipKind::text:
        return QStringLiteral("text");
    case ClipKind::link:
        return QStringLiteral("link");
    case ClipKind::image:
        return QStringLiteral("image");
    case ClipKind::file:
        return QStringLiteral("file");
    case ClipKind::color:
        return QStringLiteral("color");
    }
    return QStringLiteral("text");
}

ClipKind clipKindFromStoredString(const QString &stored)
{
    for (ClipKind kind : allClipKinds) {
        if (storedString(kind) == stored)
            return kind;
    }
    return ClipKind::text;
}

QString label(ClipKind kind)
{
    switch (kind) {
    case ClipKind::text:
        return QStringLiteral("Text");
    case ClipKind::link:
        return QStringLiteral("Link");
    case ClipKind::image:
        return QStringLiteral("Image");
    case ClipKind::file:
        return QStringLiteral("File");
    case ClipKind::color:
        return QStringLiteral("Color");
    }
    return QStringLiteral("Text");
}

bool isEditable(ClipKind kind)
{
    return kind == ClipKind::text || kind == ClipKind::link || kind == ClipKind::color;
}

} // namespace corvane
