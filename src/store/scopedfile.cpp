#include "scopedfile.h"

namespace corvane {

ScopedFile::ScopedFile(QUrl url)
    : m_url(std::move(url))
{ }

std::optional<ScopedFile> ScopedFile::fromItem(const ClipItem &item)
{
    if (item.kind != ClipKind::file || !item.text)
        return std::nullopt;
    // A bookmark captured elsewhere cannot be resolved here; the path stands in for it.
    return ScopedFile(QUrl::fromLocalFile(*item.text));
}

} // namespace corvane
