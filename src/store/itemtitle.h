#pragma once

#include <QString>

#include <optional>

namespace corvane {

// The title and subtitle a text item shows.
struct ItemTitle
{
    QString title;
    std::optional<QString> subtitle;

    bool operator==(const ItemTitle &) const = default;
};

// How the first line becomes the title: copies, snippets and edits drop the spaces and tabs
// around it; a note saved by the AI assistant keeps it as written.
enum class FirstLine { trimmed, asWritten };

// The title of a text: its first line (split at line feeds; a carriage return and line feed
// pair does not split), or the first 80 characters of the whole text when that line is
// empty. The subtitle: the remaining lines joined with line feeds and trimmed of white
// space, cut to 400 characters, or nothing when that is empty.
ItemTitle titleOfText(const QString &text, FirstLine firstLine = FirstLine::trimmed);

} // namespace corvane
