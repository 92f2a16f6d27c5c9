#pragma once

#include "platform/workspace.h"

namespace corvane {

// A workspace for tests whose frontmost application is whatever the test sets.
class FakeWorkspace : public Workspace
{
public:
    std::optional<RunningApplication> frontmostApplication() override { return m_frontmost; }
    void setFrontmostApplication(const std::optional<RunningApplication> &application)
    {
        m_frontmost = application;
    }

private:
    std::optional<RunningApplication> m_frontmost;
};

} // namespace corvane
