#pragma once

#include <QString>

namespace corvane {

// What the AI Tools pane tells an assistant's configuration: the four clients, their
// instructions and the snippets that start this executable as the tool server.
namespace aitoolsnippets {

enum class Client { claudeCode, claudeDesktop, cursor, codex };

inline constexpr int clientCount = 4;

QString displayName(Client client);
QString instruction(Client client);
// The client's snippet with path inserted verbatim (no escaping).
QString snippet(Client client, const QString &path);
// Whether path lies where installed programs live and stay: under /usr, /usr/local, /opt or
// home's .local/bin.
bool isInStandardLocation(const QString &path, const QString &home);

} // namespace aitoolsnippets

} // namespace corvane
