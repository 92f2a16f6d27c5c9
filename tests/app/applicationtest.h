#pragma once

// The real executable on the X server, with other X clients that copy, as a user's
// applications would.

#include "clipboardownerprocess.h"
#include "clipboardtesttools.h"
#include "platform/pasteboardtypes.h"
#include "runningapplicationtest.h"

#include <memory>
#include <vector>

namespace corvane::test {

class ApplicationTest : public RunningApplicationTest
{
protected:
    void SetUp() override
    {
        RunningApplicationTest::SetUp();
        // Another window is in front, not a password manager.
        ASSERT_TRUE(m_frontmost.waitUntilReady());
        ASSERT_TRUE(m_frontmost.activate(QStringLiteral("editor"), QStringLiteral("Editor")));
    }

    // Another application takes the clipboard with these targets.
    void copy(const QStringList &targets)
    {
        auto owner = std::make_unique<ClipboardOwnerProcess>(targets);
        ASSERT_TRUE(owner->waitUntilReady());
        ASSERT_TRUE(owner->ownAndWait());
        m_owners.push_back(std::move(owner));
    }
    void copyText(const QString &text)
    {
        copy({ pasteboardtype::plainText() + QLatin1Char('=') + text });
    }

    ClipboardOwnerProcess m_frontmost { {} };
    std::vector<std::unique_ptr<ClipboardOwnerProcess>> m_owners;
};

} // namespace corvane::test
