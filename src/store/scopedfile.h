#pragma once

#include "store/clipitem.h"

#include <QUrl>

#include <optional>

namespace corvane {

// A usable file location for a file item, held for as long as it is needed. Linux has no
// sandbox grants, so `holdsScope` is always false and the stored path is the location.
class ScopedFile
{
public:
    // The location of a file item's file, or nothing for other kinds and for a file item
    // without a path.
    static std::optional<ScopedFile> fromItem(const ClipItem &item);

    const QUrl &url() const { return m_url; }
    bool holdsScope() const { return m_holdsScope; }

private:
    explicit ScopedFile(QUrl url);

    QUrl m_url;
    bool m_holdsScope = false;
};

} // namespace corvane
