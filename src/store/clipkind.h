#pragma once

#include <QByteArrayView>
#include <QString>

#include <array>

namespace corvane {

// The five kinds of history content, in the order lists show them.
enum class ClipKind { text, link, image, file, color };

inline constexpr std::array<ClipKind, 5> allClipKinds = {
    ClipKind::text,
    ClipKind::link,
    ClipKind::image,
    ClipKind::file,
    ClipKind::color,
};

// The string the `kind` column holds and the fingerprint starts with.
QString storedString(ClipKind kind);

// The kind a stored string names; anything else, including an empty string, is text.
ClipKind clipKindFromStoredString(const QString &stored);

// The same, straight from the column's UTF-8 bytes, without building a string per row.
ClipKind clipKindFromStoredUtf8(QByteArrayView stored);

// The label shown to the user ("Text", "Link", …).
QString label(ClipKind kind);

// Whether items of this kind may have their text edited.
bool isEditable(ClipKind kind);

} // namespace corvane
