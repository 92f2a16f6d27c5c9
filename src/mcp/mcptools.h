#pragma once

#include "store/clipitem.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace corvane {

class ClipStore;

// What the search tool reads of each text it lists: enough for the 500 characters it shows,
// unless they are unusually long, when it reads the text again whole.
inline constexpr qsizetype searchToolTextByteLimit = 4096;

// The six tools the AI tool server offers: their definitions for "tools/list" and the
// dispatcher behind "tools/call". Every answer is plain text for the assistant to read.

// The tool definitions in their fixed order, built once per process.
const QJsonArray &mcpToolDefinitions();

// Runs the tool called name with arguments against store and gives its answer; nothing when
// no tool has that name. Errors of store operations propagate unchanged.
std::optional<QString> callTool(
    const QString &name, const QJsonObject &arguments, ClipStore &store);

// An item as the tools present it: a header line with id, kind, creation time and source,
// then the title, the subtitle and the text where they add something. When shortened, long
// titles and subtitles are cut at 200 characters and texts at 500, marked by "…".
QString describeItem(const ClipItem &item, bool shortened);

} // namespace corvane
