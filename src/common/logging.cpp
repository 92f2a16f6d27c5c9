#include "logging.h"

Q_LOGGING_CATEGORY(lcStore, "com.ferrowen.corvane.store")
Q_LOGGING_CATEGORY(lcWatcher, "com.ferrowen.corvane.watcher")
Q_LOGGING_CATEGORY(lcHistory, "com.ferrowen.corvane.history")
Q_LOGGING_CATEGORY(lcPaste, "com.ferrowen.corvane.paste")
Q_LOGGING_CATEGORY(lcLinks, "com.ferrowen.corvane.links")
Q_LOGGING_CATEGORY(lcLaunch, "com.ferrowen.corvane.launch")
Q_LOGGING_CATEGORY(lcLoginItem, "com.ferrowen.corvane.loginitem")
Q_LOGGING_CATEGORY(lcAccessibility, "com.ferrowen.corvane.accessibility")
Q_LOGGING_CATEGORY(lcExpansion, "com.ferrowen.corvane.expansion")
Q_LOGGING_CATEGORY(lcKeystrokes, "com.ferrowen.corvane.keystrokes")
Q_LOGGING_CATEGORY(lcHotkey, "com.ferrowen.corvane.hotkey")
Q_LOGGING_CATEGORY(lcMcp, "com.ferrowen.corvane.mcp")
