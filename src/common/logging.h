#pragma once

#include <QLoggingCategory>

// One category per component, all under "com.ferrowen.corvane". Error messages begin
// "Could not" and end with the error's description; they never include what the user
// typed or copied.
Q_DECLARE_LOGGING_CATEGORY(lcStore)
Q_DECLARE_LOGGING_CATEGORY(lcWatcher)
Q_DECLARE_LOGGING_CATEGORY(lcHistory)
Q_DECLARE_LOGGING_CATEGORY(lcPaste)
Q_DECLARE_LOGGING_CATEGORY(lcLinks)
Q_DECLARE_LOGGING_CATEGORY(lcLaunch)
Q_DECLARE_LOGGING_CATEGORY(lcLoginItem)
Q_DECLARE_LOGGING_CATEGORY(lcAccessibility)
Q_DECLARE_LOGGING_CATEGORY(lcExpansion)
Q_DECLARE_LOGGING_CATEGORY(lcKeystrokes)
Q_DECLARE_LOGGING_CATEGORY(lcHotkey)
Q_DECLARE_LOGGING_CATEGORY(lcMcp)
Q_DECLARE_LOGGING_CATEGORY(lcPreferences)
Q_DECLARE_LOGGING_CATEGORY(lcUpdates)
Q_DECLARE_LOGGING_CATEGORY(lcFeedback)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
Q_DECLARE_LOGGING_CATEGORY(lcRecognition)
