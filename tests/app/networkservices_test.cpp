#include "app/feedbackservice.h"
#include "app/updater.h"
#include "eventloopwait.h"
#include "pageserver.h"
#include "preferences/preferences.h"
#include "testsupport.h"

#include <QSignalSpy>

#include <chrono>
#include <gtest/gtest.h>

namespace corvane {
namespace {

using namespace std::chrono_literals;
using test::PageServer;
using test::spinUntil;

// A port on the loopback interface where nothing listens.
QString refusingUrl()
{
    QTcpServer server;
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
    return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort());
}

FeedbackService::Config feedbackConfig(const QString &server)
{
    FeedbackService::Config config;
    config.server = QUrl(server);
    config.secret = "test-secret";
    config.applicationVersion = QStringLiteral("0.2.0 (7)");
    config.operatingSystemVersion = QStringLiteral("debian 12");
    config.clock = [] { return qint64(1765000000); };
    config.timeout = 500ms;
    return config;
}

TEST(FeedbackServiceTest, SendsTheSignedBodyWithItsHeadersAndAnEmailOnlyWhenGiven)
{
    PageServer server;
    server.setFallback({ test::jsonResponse("200 OK", "{}") });
    FeedbackService feedback(feedbackConfig(server.url()));
    ASSERT_TRUE(feedback.isConfigured());

    feedback.submit(FeedbackService::Category::bug,
        QStringLiteral("\n  It crashed \"twice\" ünïcødé \n"),
        QStringLiteral(" \tme@example.org\t "));
    EXPECT_TRUE(feedback.sending());
    ASSERT_TRUE(spinUntil([&] { return feedback.sent(); }, 5s));
    EXPECT_FALSE(feedback.sending());
    EXPECT_EQ(feedback.errorText(), QString());
    EXPECT_EQ(feedback.replyAddress(), QStringLiteral("me@example.org"));

    ASSERT_EQ(server.requests().size(), 1);
    const PageServer::Request &request = server.requests().front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/api/support");
    // Keys sorted, no spaces; the e-mail trimmed of spaces and tabs, the message of all
    // white space.
    EXPECT_EQ(request.body,
        R"json({"app":"Corvane","category":"bug","email":"me@example.org","message":"It crashed \"twice\" ünïcødé","os":"debian 12","platform":"Linux","version":"0.2.0 (7)"})json");
    EXPECT_EQ(request.headers.value("content-type"), "application/json");
    EXPECT_EQ(request.headers.value("accept"), "application/json");
    EXPECT_EQ(request.headers.value("x-support-timestamp"), "1765000000");
    // HMAC-SHA256("test-secret", "1765000000\n" + body), computed with another HMAC
    // implementation.
    EXPECT_EQ(request.headers.value("x-support-signature"),
        "39a13acc0a1986d33d928acd4e01bf1ebb012ea9d728c09997285c01a157d0f3");
    EXPECT_EQ(request.headers.value("user-agent"), "Corvane/0.2.0 (7) (Linux debian 12)");
    EXPECT_FALSE(request.headers.contains("x-support-assertion"));

    // An e-mail address of only white space is left out.
    feedback.submit(
        FeedbackService::Category::feature, QStringLiteral("More"), QStringLiteral("  \t "));
    ASSERT_TRUE(spinUntil([&] { return !feedback.sending() && feedback.sent(); }, 5s));
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_FALSE(server.requests().back().body.contains("email"));
    EXPECT_TRUE(server.requests().back().body.contains(R"("category":"feature")"));
    EXPECT_EQ(feedback.replyAddress(), QString());
}

TEST(FeedbackServiceTest, EveryFailureGivesItsText)
{
    struct Case
    {
        const char *name;
        QByteArray response;
        QString text;
    };
    const Case cases[] = {
        { "401", test::jsonResponse("401 Unauthorized", R"({"message":"bad signature"})"),
            QStringLiteral("This build can't send feedback — please use the website.") },
        { "429", test::jsonResponse("429 Too Many Requests", "{}"),
            QStringLiteral("Too many messages in a row — try again in a few minutes.") },
        { "500 with a message",
            test::jsonResponse("500 Internal Server Error", R"({"message":"Disk full."})"),
            QStringLiteral("Disk full.") },
        { "500 without a message", test::jsonResponse("500 Internal Server Error", "oops"),
            QStringLiteral("The server didn't accept it (500).") },
        { "500 with a message that is not text",
            test::jsonResponse("500 Internal Server Error", R"({"message":42})"),
            QStringLiteral("The server didn't accept it (500).") },
        { "timeout", QByteArray(),
            QStringLiteral("Couldn't reach 127.0.0.1: The request timed out.") },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PageServer server;
        server.setFallback({ c.response });
        FeedbackService feedback(feedbackConfig(server.url()));
        feedback.submit(FeedbackService::Category::feedback, QStringLiteral("Hello"), QString());
        ASSERT_TRUE(spinUntil([&] { return !feedback.sending(); }, 5s));
        EXPECT_FALSE(feedback.sent());
        EXPECT_EQ(feedback.errorText(), c.text);
        EXPECT_EQ(server.requests().size(), 1);
    }

    FeedbackService refused(feedbackConfig(refusingUrl()));
    refused.submit(FeedbackService::Category::feedback, QStringLiteral("Hello"), QString());
    ASSERT_TRUE(spinUntil([&] { return !refused.sending(); }, 5s));
    EXPECT_EQ(refused.errorText(), QStringLiteral("Couldn't reach 127.0.0.1: Connection refused"));
}

TEST(FeedbackServiceTest, WithoutAddressOrSecretNothingIsSent)
{
    PageServer server;
    server.setFallback({ test::jsonResponse("200 OK", "{}") });
    struct Case
    {
        const char *name;
        QString url;
        QByteArray secret;
    };
    const Case cases[] = {
        { "no secret", server.url(), "" },
        { "unsubstituted secret", server.url(), "$(SUPPORT_SECRET)" },
        { "no address", QString(), "test-secret" },
        { "plain http to another host", QStringLiteral("http://example.org"), "test-secret" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FeedbackService::Config config = feedbackConfig(c.url);
        config.secret = c.secret;
        FeedbackService feedback(config);
        EXPECT_FALSE(feedback.isConfigured());
        feedback.submit(FeedbackService::Category::bug, QStringLiteral("Hello"), QString());
        EXPECT_FALSE(feedback.sending());
        EXPECT_EQ(feedback.errorText(), QStringLiteral("Feedback isn't available in this build."));
    }
    test::spinFor(100ms);
    EXPECT_TRUE(server.requests().isEmpty());
}

class UpdaterTest : public test::TemporaryFolderTest
{
protected:
    Updater::Config config(const QString &feed)
    {
        Updater::Config config;
        config.feed = QUrl(feed);
        config.currentVersion = QStringLiteral("0.2.0");
        config.timeout = 500ms;
        config.firstCheckDelay = 50ms;
        config.checkInterval = 200ms;
        return config;
    }

    Preferences m_preferences { path(QStringLiteral("Corvane.conf")) };
};

TEST_F(UpdaterTest, ReportsNewerSameOlderAndMalformedFeeds)
{
    struct Case
    {
        const char *name;
        QByteArray response;
        Updater::Status status;
        QString text;
        QString downloadPage;
    };
    const auto feed = [](const char *version) {
        return test::jsonResponse("200 OK",
            QByteArray(R"({"version":")") + version
                + R"(","downloadPage":"https://example.org/corvane"})");
    };
    const QString page = QStringLiteral("https://example.org/corvane");
    const Case cases[] = {
        { "newer", feed("0.10.0"), Updater::Status::updateAvailable,
            QStringLiteral("Corvane 0.10.0 is available — you have 0.2.0."), page },
        { "same", feed("0.2"), Updater::Status::upToDate,
            QStringLiteral("Corvane 0.2.0 is the latest version."), page },
        { "older", feed("0.1.9"), Updater::Status::newerThanRelease,
            QStringLiteral("This build (0.2.0) is newer than the latest release (0.1.9)."), page },
        { "not JSON", test::jsonResponse("200 OK", "<rss/>"), Updater::Status::failed,
            QStringLiteral("The update feed isn't valid: it is not JSON (illegal value)."), {} },
        { "not a version", feed("0.3-beta"), Updater::Status::failed,
            QStringLiteral("The update feed isn't valid: \"version\" is not a version number."),
            {} },
        { "no download page",
            test::jsonResponse("200 OK", R"({"version":"0.3.0","downloadPage":"file:///x"})"),
            Updater::Status::failed,
            QStringLiteral("The update feed isn't valid: \"downloadPage\" is not a web address."),
            {} },
        { "server error", test::jsonResponse("503 Service Unavailable", "{}"),
            Updater::Status::failed, QStringLiteral("The update server answered with status 503."),
            {} },
        { "timeout", QByteArray(), Updater::Status::failed,
            QStringLiteral("Couldn't reach 127.0.0.1: The request timed out."), {} },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PageServer server;
        server.setFallback({ c.response });
        Updater updater(m_preferences, config(server.url("/feed.json")));
        EXPECT_EQ(updater.status(), Updater::Status::idle);
        updater.checkForUpdates();
        EXPECT_FALSE(updater.canCheckForUpdates());
        EXPECT_EQ(updater.status(), Updater::Status::checking);
        ASSERT_TRUE(spinUntil([&] { return updater.canCheckForUpdates(); }, 5s));
        EXPECT_EQ(updater.status(), c.status);
        EXPECT_EQ(updater.statusText(), c.text);
        EXPECT_EQ(updater.downloadPage(), QUrl(c.downloadPage));
        ASSERT_EQ(server.requests().size(), 1);
        EXPECT_EQ(server.requests().front().path, "/feed.json");
    }
}

TEST_F(UpdaterTest, WithoutAFeedNoCheckCanStart)
{
    for (const QString &feed : { QString(), QStringLiteral("http://example.org/feed.json") }) {
        Updater updater(m_preferences, config(feed));
        EXPECT_FALSE(updater.isConfigured());
        EXPECT_FALSE(updater.canCheckForUpdates());
        EXPECT_EQ(updater.status(), Updater::Status::unavailable);
        EXPECT_EQ(
            updater.statusText(), QStringLiteral("Update checks aren't available in this build."));
        updater.checkForUpdates();
        EXPECT_EQ(updater.status(), Updater::Status::unavailable);
    }

    Updater refused(m_preferences, config(refusingUrl()));
    refused.checkForUpdates();
    ASSERT_TRUE(spinUntil([&] { return refused.canCheckForUpdates(); }, 5s));
    EXPECT_EQ(refused.statusText(), QStringLiteral("Couldn't reach 127.0.0.1: Connection refused"));
}

TEST_F(UpdaterTest, AutomaticSettingIsKeptAndChecksRepeatWhileOn)
{
    PageServer server;
    server.setFallback({ test::jsonResponse(
        "200 OK", R"({"version":"0.2.0","downloadPage":"https://example.org"})") });
    Updater updater(m_preferences, config(server.url()));
    EXPECT_FALSE(updater.automaticallyChecksForUpdates());
    test::spinFor(300ms);
    EXPECT_TRUE(server.requests().isEmpty());

    QSignalSpy changed(&updater, &Updater::automaticallyChecksForUpdatesChanged);
    updater.setAutomaticallyChecksForUpdates(true);
    EXPECT_EQ(changed.size(), 1);
    // Kept in the settings file for the next start.
    EXPECT_TRUE(Preferences(path(QStringLiteral("Corvane.conf"))).automaticallyChecksForUpdates());
    // The first check after its delay, then one per interval.
    ASSERT_TRUE(spinUntil([&] { return server.requests().size() >= 3; }, 5s));

    updater.setAutomaticallyChecksForUpdates(false);
    test::spinFor(100ms);
    const qsizetype checks = server.requests().size();
    test::spinFor(500ms);
    EXPECT_EQ(server.requests().size(), checks);
}

} // namespace
} // namespace corvane
