#include "panel/dragitemprovider.h"

#include "capture/candidateextraction.h"
#include "common/graphemes.h"
#include "platform/pasteboardtypes.h"
#include "store/scopedfile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUuid>

namespace corvane {

namespace {

void addItemMarker(QMimeData &data, std::int64_t itemID)
{
    data.setData(itemMarkerType(), QByteArray::number(static_cast<qlonglong>(itemID)));
}

std::optional<QString> writeImageDragFile(const ClipItem &item, const QByteArray &bytes)
{
    const QString name = QStringLiteral("Clip ")
        + QDateTime::fromMSecsSinceEpoch(toMillis(item.createdAt))
              .toString(QStringLiteral("yyyy-MM-dd 'at' HH.mm.ss"))
        + QStringLiteral(".png");
    // A fresh folder per drag: two images copied in the same second get the same name.
    const QString folder
        = QDir(dragFolder()).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (!QDir().mkpath(folder))
        return std::nullopt;
    const QString path = QDir(folder).filePath(name);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return std::nullopt;
    return path;
}

} // namespace

QString itemMarkerType()
{
    return QStringLiteral("application/x-com.ferrowen.corvane.item");
}

QString pinboardMarkerType()
{
    return QStringLiteral("application/x-com.ferrowen.corvane.pinboard");
}

std::optional<DragItemProvider> dragItemProvider(
    const ClipItem &item, const std::optional<QByteArray> &payload)
{
    DragItemProvider provider;
    QMimeData &data = *provider.mimeData;
    switch (item.kind) {
    case ClipKind::text:
    case ClipKind::color:
        if (!item.text || item.text->isEmpty())
            return std::nullopt;
        data.setText(*item.text);
        provider.suggestedName = textDragFileName(item.title);
        break;
    case ClipKind::link:
        if (!item.text)
            return std::nullopt;
        if (const std::optional<QUrl> url = recognizeLink(*item.text))
            data.setUrls({ *url });
        data.setText(*item.text);
        provider.suggestedName = item.title;
        break;
    case ClipKind::image: {
        if (!payload)
            return std::nullopt;
        const std::optional<QString> path = writeImageDragFile(item, *payload);
        if (!path)
            return std::nullopt;
        data.setUrls({ QUrl::fromLocalFile(*path) });
        data.setData(pasteboardtype::png(), *payload);
        provider.suggestedName = QFileInfo(*path).fileName();
        break;
    }
    case ClipKind::file: {
        const std::optional<ScopedFile> scoped = ScopedFile::fromItem(item);
        if (!scoped || !scoped->url().isLocalFile()
            || !QFileInfo::exists(scoped->url().toLocalFile()))
            return std::nullopt;
        data.setUrls({ scoped->url() });
        provider.suggestedName = scoped->url().fileName();
        break;
    }
    }
    addItemMarker(data, item.id);
    return provider;
}

QString textDragFileName(const QString &title)
{
    static const QRegularExpression separators(QStringLiteral("[/:\\n\\r\\t]"));
    QString name = title.split(separators).join(QLatin1Char(' ')).trimmed();
    name = leftGraphemes(name, 40).trimmed();
    if (name.isEmpty())
        name = QStringLiteral("Clipping");
    return name + QStringLiteral(".txt");
}

QString dragFolder()
{
    return QDir(QDir::tempPath()).filePath(QStringLiteral("Drags"));
}

void clearDragFolder()
{
    QDir(dragFolder()).removeRecursively();
}

} // namespace corvane
