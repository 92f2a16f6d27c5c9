#include "app/appservices.h"
#include "capture/clipboardwatcher.h"
#include "capture/linkenricher.h"
#include "eventloopwait.h"
#include "pageserver.h"
#include "platform/fake/fakepasteboard.h"
#include "platform/fake/fakeworkspace.h"
#include "platform/pasteboardtypes.h"
#include "preferences/preferences.h"
#include "store/clipstore.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <chrono>
#include <gtest/gtest.h>
#include <memory>

namespace corvane {
namespace {

using test::spinUntil;

using namespace std::chrono_literals;

class AppServicesTest : public test::TemporaryFolderTest
{
protected:
    void SetUp() override
    {
        TemporaryFolderTest::SetUp();
        // Drag files go to the temporary folder; this test's own stands in for it.
        m_previousTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", path().toUtf8());
        m_server.setPage(
            "/page", { test::response("200 OK", "text/html", "<title>Fetched</title>") });
        m_services = std::make_unique<AppServices>(
            AppServices::Desktop { .pasteboard = m_pasteboard, .workspace = m_workspace },
            path(QStringLiteral("Corvane")), path(QStringLiteral("Corvane.conf")));
    }

    void TearDown() override { qputenv("TMPDIR", m_previousTemp); }

    QString link() const { return m_server.url("/page"); }

    std::optional<ClipItem> copyAndWait(const QString &text)
    {
        m_pasteboard.copyFromOtherProcess({ { pasteboardtype::plainText(), text.toUtf8() } });
        std::optional<ClipItem> found;
        spinUntil(
            [&] {
                const auto items = m_services->store().items(ClipStore::Filter { .limit = 1 });
                if (!items.empty() && items.front().text == text)
                    found = items.front();
                return found.has_value();
            },
            2s);
        return found;
    }

    QByteArray m_previousTemp;
    test::PageServer m_server;
    FakePasteboard m_pasteboard;
    FakeWorkspace m_workspace;
    std::unique_ptr<AppServices> m_services;
};

TEST_F(AppServicesTest, HandsCopiedLinksToTheEnricherOnlyWhenPreviewsAreWanted)
{
    m_services->start();

    m_services->preferences().setFetchesLinkPreviews(false);
    const auto unfetched = copyAndWait(link());
    ASSERT_TRUE(unfetched);
    EXPECT_FALSE(m_services->linkEnricher().isFetching(unfetched->id));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_server.requests("/page"), 0);

    m_services->preferences().setFetchesLinkPreviews(true);
    copyAndWait(QStringLiteral("something else"));
    const auto fetched = copyAndWait(link());
    ASSERT_TRUE(fetched);
    ASSERT_TRUE(spinUntil(
        [&] { return m_services->store().item(fetched->id)->title == QStringLiteral("Fetched"); },
        5s));
    EXPECT_EQ(m_server.requests("/page"), 1);
}

TEST_F(AppServicesTest, StartSweepsOrphanPayloadsAndRemovesLeftOverDragFiles)
{
    const QString orphan = QDir(m_services->store().blobDirectory())
                               .filePath(QString(64, u'a') + QStringLiteral(".data"));
    const QString dragFile = path(QStringLiteral("Drags/1234/Picture.png"));
    for (const QString &file : { orphan, dragFile }) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
        QFile created(file);
        ASSERT_TRUE(created.open(QIODevice::WriteOnly));
    }
    // Whatever the clipboard held before the start is not recorded.
    m_pasteboard.copyFromOtherProcess({ { pasteboardtype::plainText(), "before the start" } });
    m_services = std::make_unique<AppServices>(
        AppServices::Desktop { .pasteboard = m_pasteboard, .workspace = m_workspace },
        path(QStringLiteral("Corvane")), path(QStringLiteral("Corvane.conf")));

    m_services->start();
    EXPECT_FALSE(QFile::exists(orphan));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("Drags"))));
    m_services->watcher().poll();
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_services->store().items(ClipStore::Filter { .limit = 10 }).empty());
}

TEST(AppServicesLocation, WritesTheHomeFolderAsATilde)
{
    struct Case
    {
        const char *folder;
        const char *home;
        const char *shown;
    };
    const Case cases[] = {
        { "/home/anna/.local/share/Corvane", "/home/anna", "~/.local/share/Corvane" },
        { "/home/anna//data/../data/Corvane/", "/home/anna/", "~/data/Corvane" },
        { "/home/annabel/Corvane", "/home/anna", "/home/annabel/Corvane" },
        { "/srv/Corvane", "/home/anna", "/srv/Corvane" },
        { "/Corvane", "/", "/Corvane" },
    };
    for (const Case &c : cases)
        EXPECT_EQ(
            AppServices::displayedLocation(QString::fromUtf8(c.folder), QString::fromUtf8(c.home)),
            QString::fromUtf8(c.shown))
            << c.folder;
}

} // namespace
} // namespace corvane
