#include "clipkind.h"

namespace corvane {

namespace {

// The stored strings are ASCII, so their UTF-8 bytes are these characters.
const char *storedAscii(ClipKind kind)
{
    switch (kind) {
    case ClipKind::text:
        return "text";
    case ClipKind::link:
        return "link";
    case ClipKind::image:
        return "image";
    case ClipKind::file:
        return "file";
    case ClipKind::color:
        return "color";
    }
    return "text";
}

} // namespace

QString storedString(ClipKind kind)
{
    return QString::fromLatin1(storedAscii(kind));
}

ClipKind clipKindFromStoredString(const QString &stored)
{
    for (ClipKind kind : allClipKinds) {
        if (stored == QLatin1StringView(storedAscii(kind)))
            return kind;
    }
    return ClipKind::text;
}

ClipKind clipKindFromStoredUtf8(QByteArrayView stored)
{
    for (ClipKind kind : allClipKinds) {
        if (stored == QByteArrayView(storedAscii(kind)))
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
