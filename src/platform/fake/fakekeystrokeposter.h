#pragma once

#include "platform/pastekeystrokeposter.h"

#include <vector>

namespace corvane {

// Records what would have been activated and posted.
class FakeKeystrokePoster final : public PasteKeystrokePoster
{
public:
    bool activate(const RunningApplication &application) override
    {
        activated.push_back(application);
        return true;
    }
    bool postPasteKeystroke(PasteShortcut shortcut) override
    {
        posted.push_back(shortcut);
        return true;
    }

    std::vector<RunningApplication> activated;
    std::vector<PasteShortcut> posted;
};

} // namespace corvane
