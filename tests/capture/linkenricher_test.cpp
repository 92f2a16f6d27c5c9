#include "capture/clipcandidate.h"
#include "capture/linkenricher.h"
#include "eventloopwait.h"
#include "logcapture.h"
#include "platform/pasteboardtypes.h"
#include "store/clipstore.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace corvane {
namespace {

using test::spinFor;
using test::spinUntil;

using namespace std::chrono_literals;

QByteArray response(QByteArray status, QByteArray contentType, const QByteArray &body,
    const QByteArray &extraHeaders = {})
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + contentType + "\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
}

QByteArray html(const QByteArray &head, const QByteArray &body = "<p>Hello</p>")
{
    return "<!DOCTYPE html>\n<html><head>" + head + "</head><body>" + body + "</body></html>\n";
}

// A small web server on the loopback interface: each path answers as the test set it up,
// optionally after a delay, and every request is counted.
class PageServer : public QObject
{
public:
    struct Page
    {
        QByteArray response;
        std::chrono::milliseconds delay { 0 };
    };

    PageServer()
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    m_received.remove(socket);
                    socket->deleteLater();
                });
            }
        });
    }

    ~PageServer() override
    {
        // The connections close with the server, after this object's members are gone.
        for (QTcpSocket *socket : m_server.findChildren<QTcpSocket *>())
            disconnect(socket, nullptr, this, nullptr);
    }

    void setPage(const QByteArray &path, Page page) { m_pages.insert(path, std::move(page)); }
    QString url(const QByteArray &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2")
            .arg(m_server.serverPort())
            .arg(QString::fromLatin1(path));
    }
    int requests(const QByteArray &path) const { return m_requests.value(path); }

private:
    void serve(QTcpSocket *socket)
    {
        // Connections are kept alive: the client may send its next request (a redirect's
        // target) on the same one. Requests are answered in order, each after its delay.
        QByteArray &received = m_received[socket];
        received += socket->readAll();
        for (qsizetype end = received.indexOf("\r\n\r\n"); end >= 0;
             end = received.indexOf("\r\n\r\n")) {
            const QByteArray path = received.left(end).split(' ').value(1);
            received.remove(0, end + 4);
            ++m_requests[path];
            const Page page
                = m_pages.value(path, Page { response("404 Not Found", "text/plain", "no") });
            QPointer<QTcpSocket> guarded(socket);
            QTimer::singleShot(page.delay, socket, [guarded, page] {
                if (guarded)
                    guarded->write(page.response);
            });
        }
    }

    QTcpServer m_server;
    QHash<QByteArray, Page> m_pages;
    QHash<QByteArray, int> m_requests;
    QHash<QTcpSocket *, QByteArray> m_received;
};

class LinkEnricherTest : public test::TemporaryFolderTest
{
protected:
    static constexpr auto shortTimeout = 400ms;

    void SetUp() override
    {
        TemporaryFolderTest::SetUp();
        m_store = std::make_unique<ClipStore>(path(QStringLiteral("Corvane")));
        m_enricher = std::make_unique<LinkEnricher>(*m_store, shortTimeout);
        m_enricher->onEnriched = [this](std::int64_t id) { m_enriched.push_back(id); };
    }

    ClipItem recordLink(const QString &url)
    {
        PasteboardSnapshot snapshot;
        snapshot.setTypes({ pasteboardtype::plainText() });
        snapshot.setString(url);
        const auto candidate = ClipCandidate::capture(snapshot, std::nullopt, {}, false, false);
        EXPECT_TRUE(candidate && candidate->kind == ClipKind::link);
        const auto item = m_store->record(*candidate, 0, 0, ClipStore::payloadCapBytes);
        EXPECT_TRUE(item);
        return *item;
    }

    // Enriches the item and waits until its fetch is over.
    ClipItem enriched(const ClipItem &item)
    {
        m_enricher->enrich(item);
        EXPECT_TRUE(spinUntil([&] { return !m_enricher->isFetching(item.id); }, 5s));
        return *m_store->item(item.id);
    }

    PageServer m_server;
    std::unique_ptr<ClipStore> m_store;
    std::unique_ptr<LinkEnricher> m_enricher;
    std::vector<std::int64_t> m_enriched;
};

TEST_F(LinkEnricherTest, SavesThePagesTitleOrLeavesTheAddressTitleAlone)
{
    const QByteArray filler(3 * LinkEnricher::maxPageBytes, 'x');
    struct Case
    {
        const char *path;
        PageServer::Page page;
        std::optional<QString> title; // nothing: the title made from the address stays
        // What the one debug line says after the site's address; nothing when none is logged.
        std::optional<QString> failure;
    };
    const Case cases[] = {
        { "/spaces",
            { response("200 OK", "text/html; charset=utf-8",
                html("<title>\n   Spaced &amp;\n  Trimmed \t</title>")) },
            QStringLiteral("Spaced & Trimmed"), {} },
        { "/og",
            { response("200 OK", "text/html",
                html("<title>Plain</title><meta content=\"Caf&eacute; &#x2014; &#8220;Bar&#8221;\" "
                     "property='og:title'>")) },
            QStringLiteral("Café — “Bar”"), {} },
        { "/latin1",
            { response("200 OK", "text/html; charset=ISO-8859-1",
                html("<TITLE>Gr\xFC\xDF"
                     "e</TITLE>")) },
            QStringLiteral("Grüße"), {} },
        { "/untitled", { response("200 OK", "text/html", html("<meta charset=utf-8>")) }, {}, {} },
        { "/blank", { response("200 OK", "text/html", html("<title> \n&nbsp; </title>")) }, {},
            {} },
        { "/slow",
            { response("200 OK", "text/html", html("<title>Too late</title>")), 2 * shortTimeout },
            {}, QStringLiteral("the page did not answer within 0.4 seconds") },
        { "/huge", { response("200 OK", "text/html", html("<title>Big page</title>", filler)) },
            QStringLiteral("Big page"), {} },
        // The title lies beyond what is read.
        { "/buried", { response("200 OK", "text/html", filler + html("<title>Buried</title>")) },
            {}, {} },
        { "/moved",
            { response("301 Moved Permanently", "text/html", html("<title>Moved</title>"),
                "Location: /spaces\r\n") },
            QStringLiteral("Spaced & Trimmed"), {} },
        { "/to-ftp",
            { response("302 Found", "text/html", {}, "Location: ftp://127.0.0.1/file\r\n") }, {},
            QString() },
        // Six redirects, one more than are followed.
        { "/hop1", { response("302 Found", "text/html", {}, "Location: /hop2\r\n") }, {},
            QStringLiteral("it redirects more than 5 times") },
        { "/image", { response("200 OK", "image/png", "<title>Not a page</title>") }, {}, {} },
        { "/missing", { response("404 Not Found", "text/html", html("<title>Not Found</title>")) },
            {}, QString() },
    };
    for (const Case &c : cases)
        m_server.setPage(c.path, c.page);
    for (int hop = 2; hop <= 6; ++hop)
        m_server.setPage("/hop" + QByteArray::number(hop),
            { response("302 Found", "text/html", {},
                "Location: /hop" + QByteArray::number(hop + 1) + "\r\n") });
    m_server.setPage("/hop7", { response("200 OK", "text/html", html("<title>Far</title>")) });

    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        test::LogCapture log("com.ferrowen.corvane.links");
        m_enriched.clear();
        const ClipItem item = recordLink(m_server.url(c.path));
        const ClipItem after = enriched(item);
        if (c.title) {
            EXPECT_EQ(after.title, *c.title);
            EXPECT_EQ(after.subtitle, QStringLiteral("127.0.0.1"));
            EXPECT_EQ(m_enriched, std::vector<std::int64_t> { item.id });
        } else {
            EXPECT_EQ(after.title, item.title);
            EXPECT_EQ(after.subtitle, item.subtitle);
            EXPECT_TRUE(m_enriched.empty());
        }
        if (c.failure) {
            ASSERT_EQ(log.messages().size(), 1);
            const QString expectedStart = QStringLiteral("No metadata for http://127.0.0.1: ");
            EXPECT_TRUE(log.messages()[0].startsWith(expectedStart + *c.failure))
                << log.messages()[0].toStdString();
        } else {
            EXPECT_TRUE(log.messages().isEmpty()) << log.messages().join(u'\n').toStdString();
        }
        m_store->deleteItems({ item.id });
    }
    EXPECT_EQ(m_server.requests("/hop6"), 1);
    EXPECT_EQ(m_server.requests("/hop7"), 0);
}

TEST_F(LinkEnricherTest, FetchesALinkCopiedTwiceWhileInFlightOnlyOnce)
{
    m_server.setPage(
        "/pending", { response("200 OK", "text/html", html("<title>Pending</title>")), 150ms });
    const ClipItem item = recordLink(m_server.url("/pending"));
    m_enricher->enrich(item);
    m_enricher->enrich(item);
    ASSERT_TRUE(spinUntil([&] { return !m_enricher->isFetching(item.id); }, 5s));
    spinFor(100ms);
    EXPECT_EQ(m_server.requests("/pending"), 1);
    EXPECT_EQ(m_enriched.size(), 1u);

    // A later copy of the same link is fetched again.
    EXPECT_EQ(enriched(item).title, QStringLiteral("Pending"));
    EXPECT_EQ(m_server.requests("/pending"), 2);
}

TEST_F(LinkEnricherTest, FetchesOnlyWebLinksAsTheTextWroteThem)
{
    const QString spaces = m_server.url("/spaces");
    m_server.setPage("/spaces", { response("200 OK", "text/html", html("<title>T</title>")) });
    ClipItem text = recordLink(spaces);
    text.kind = ClipKind::text;
    ClipItem upperCase
        = recordLink(QString(spaces).replace(QStringLiteral("http"), QStringLiteral("HTTP")));
    ClipItem ftp = recordLink(QStringLiteral("ftp://127.0.0.1/file"));
    for (const ClipItem &item : { text, upperCase, ftp }) {
        m_enricher->enrich(item);
        EXPECT_FALSE(m_enricher->isFetching(item.id));
    }
    spinFor(50ms);
    EXPECT_EQ(m_server.requests("/spaces"), 0);
}

TEST_F(LinkEnricherTest, SavesTheTitleOfAnItemDeletedMeanwhileWithoutError)
{
    m_server.setPage(
        "/gone", { response("200 OK", "text/html", html("<title>Gone</title>")), 100ms });
    const ClipItem item = recordLink(m_server.url("/gone"));
    m_enricher->enrich(item);
    m_store->deleteItems({ item.id });
    ASSERT_TRUE(spinUntil([&] { return !m_enricher->isFetching(item.id); }, 5s));
    EXPECT_EQ(m_enriched, std::vector<std::int64_t> { item.id });
    EXPECT_FALSE(m_store->item(item.id));
}

TEST(LinkEnricherTitles, SubtitleIsTheHostWithoutWww)
{
    EXPECT_EQ(LinkEnricher::subtitle(QUrl(QStringLiteral("https://www.example.org/a"))),
        QStringLiteral("example.org"));
    EXPECT_EQ(LinkEnricher::subtitle(QUrl(QStringLiteral("https://wwwx.example.org/"))),
        QStringLiteral("wwwx.example.org"));
    EXPECT_EQ(
        LinkEnricher::subtitle(QUrl(QStringLiteral("mailto:someone@example.org"))), std::nullopt);
}

TEST(LinkEnricherTitles, DecodesReferencesAndLeavesUnknownOnesAlone)
{
    EXPECT_EQ(
        LinkEnricher::decodeEntities(QStringLiteral("a &lt;b&gt; &#65;&#x1F600; &bogus; &amp")),
        QStringLiteral("a <b> A\U0001F600 &bogus; &amp"));
    EXPECT_EQ(LinkEnricher::decodeEntities(QStringLiteral("&#0;&#xD800;&#99999999;")),
        QStringLiteral("\uFFFD\uFFFD\uFFFD"));
    EXPECT_EQ(LinkEnricher::pageTitle(QStringLiteral("<meta name=\"og:title\" content=\"\">"
                                                     "<title>Fallback</title>")),
        QStringLiteral("Fallback"));
    EXPECT_EQ(LinkEnricher::pageTitle(QStringLiteral("<html><body>no title</body></html>")),
        std::nullopt);
}

} // namespace
} // namespace corvane
