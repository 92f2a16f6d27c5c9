#include "aitoolsnippets.h"

#include <QDir>

namespace corvane::aitoolsnippets {

QString displayName(Client client)
{
    switch (client) {
    case Client::claudeCode:
        return QStringLiteral("Claude Code");
    case Client::claudeDesktop:
        return QStringLiteral("Claude Desktop");
    case Client::cursor:
        return QStringLiteral("Cursor");
    case Client::codex:
        return QStringLiteral("Codex");
    }
    return {};
}

QString instruction(Client client)
{
    switch (client) {
    case Client::claudeCode:
        return QStringLiteral("Run this in a terminal.");
    case Client::claudeDesktop:
        return QStringLiteral("Add to claude_desktop_config.json.");
    case Client::cursor:
        return QStringLiteral("Add to ~/.cursor/mcp.json.");
    case Client::codex:
        return QStringLiteral("Add to ~/.codex/config.toml.");
    }
    return {};
}

QString snippet(Client client, const QString &path)
{
    switch (client) {
    case Client::claudeCode:
        return QStringLiteral("claude mcp add corvane -- \"") + path + QStringLiteral("\" --mcp");
    case Client::claudeDesktop:
    case Client::cursor:
        return QStringLiteral("{\n  \"mcpServers\": {\n    \"corvane\": {\n      \"command\": \"")
            + path + QStringLiteral("\",\n      \"args\": [\"--mcp\"]\n    }\n  }\n}");
    case Client::codex:
        return QStringLiteral("[mcp_servers.corvane]\ncommand = \"") + path
            + QStringLiteral("\"\nargs = [\"--mcp\"]");
    }
    return {};
}

bool isInStandardLocation(const QString &path, const QString &home)
{
    const QString clean = QDir::cleanPath(path);
    const QString folders[] = { QStringLiteral("/usr"), QStringLiteral("/opt"),
        QDir::cleanPath(home + QStringLiteral("/.local/bin")) };
    // /usr covers /usr/local.
    for (const QString &folder : folders) {
        if (clean.startsWith(folder + QLatin1Char('/')))
            return true;
    }
    return false;
}

} // namespace corvane::aitoolsnippets
