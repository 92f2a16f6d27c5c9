#include "capture/candidateextraction.h"
#include "capture/linkenricher.h"
#include "eventloopwait.h"
#include "logcapture.h"
#include "pageserver.h"
#include "platform/pasteboardtypes.h"
#include "store/clipstore.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace corvane {
namespace {

using test::PageServer;
using test::response;
using test::spinFor;
using test::spinUntil;

using namespace std::chrono_literals;

QByteArray html(const QByteArray &head, const QByteArray &body = "<p>Hello</p>")
{
    return "<!DOCTYPE html>\n<html><head>" + head + "</head><body>" + body + "</body></html>\n";
}

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
        snapshot.setUtf8Text(url.toUtf8());
        const auto candidate = captureCandidate(snapshot, std::nullopt, {}, false, false);
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

TEST_F(LinkEnricherTest, APageArrivingAfterAnEditOrDeletionChangesNothing)
{
    m_server.setPage(
        "/late", { response("200 OK", "text/html", html("<title>Late</title>")), 100ms });
    const ClipItem edited = recordLink(m_server.url("/late"));
    const ClipItem deleted = recordLink(m_server.url("/late#deleted"));
    m_enricher->enrich(edited);
    m_enricher->enrich(deleted);
    m_store->updateText(edited.id, QStringLiteral("Notes on the page\nmine"));
    m_store->deleteItems({ deleted.id });
    ASSERT_TRUE(spinUntil([&] { return !m_enricher->isFetching(edited.id); }, 5s));
    ASSERT_TRUE(spinUntil([&] { return !m_enricher->isFetching(deleted.id); }, 5s));
    const ClipItem kept = *m_store->item(edited.id);
    EXPECT_EQ(kept.text, QStringLiteral("Notes on the page\nmine"));
    EXPECT_EQ(kept.title, QStringLiteral("Notes on the page"));
    EXPECT_EQ(kept.subtitle, QStringLiteral("mine"));
    EXPECT_FALSE(m_store->item(deleted.id));
    EXPECT_TRUE(m_enriched.empty());
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
