#include "linkenricher.h"

#include "capture/candidateextraction.h"
#include "common/logging.h"
#include "store/clipstore.h"
#include "store/errordescription.h"

#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimer>

namespace corvane {

struct LinkEnricher::Fetch
{
    // The item's text when the fetch started, the copied link, and the address being asked
    // now (after redirects).
    QString text;
    QUrl link;
    QUrl url;
    QNetworkReply *reply = nullptr;
    QTimer deadline;
    QByteArray body;
    int redirects = 0;
    // Set when the fetch was stopped early: what went wrong, or nothing when the page was
    // simply not one to look into (too long to read further, or not HTML).
    bool stopped = false;
    bool hasTitleSource = true;
    std::optional<QString> failure;
};

namespace {

bool isWebScheme(const QString &scheme)
{
    return scheme == QStringLiteral("http") || scheme == QStringLiteral("https");
}

// Pages only: an image, a download or a feed has no title to read. A response that does
// not say what it is gets the benefit of the doubt.
bool isHtml(const QNetworkReply &reply)
{
    const QString mimeType = reply.header(QNetworkRequest::ContentTypeHeader)
                                 .toString()
                                 .section(QLatin1Char(';'), 0, 0)
                                 .trimmed()
                                 .toLower();
    return mimeType.isEmpty() || mimeType == QStringLiteral("text/html")
        || mimeType == QStringLiteral("application/xhtml+xml");
}

bool isRedirect(const QNetworkReply &reply)
{
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 300 && status < 400
        && reply.attribute(QNetworkRequest::RedirectionTargetAttribute).isValid();
}

// Only the scheme and host go to the log: paths and queries of copied links often carry
// what the user would not want written down (tokens, search terms).
QString siteOf(const QUrl &url)
{
    return url
        .adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment
            | QUrl::RemovePort)
        .toString();
}

std::optional<QString> cleanTitle(const QString &raw)
{
    // HTML collapses white space in a title; a line break inside one is not part of it.
    const QString title = LinkEnricher::decodeEntities(raw).simplified();
    if (title.isEmpty())
        return std::nullopt;
    return title;
}

} // namespace

LinkEnricher::LinkEnricher(ClipStore &store, std::chrono::milliseconds timeout, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_timeout(timeout)
    , m_network(new QNetworkAccessManager(this))
{ }

LinkEnricher::~LinkEnricher()
{
    // The replies must not report to a half-destroyed enricher.
    for (auto &[itemID, fetch] : m_inFlight) {
        disconnect(fetch->reply, nullptr, this, nullptr);
        fetch->reply->abort();
    }
}

void LinkEnricher::enrich(const ClipItem &recorded)
{
    if (recorded.kind != ClipKind::link || !recorded.text)
        return;
    // A recording hands back a very long link cut to its start; the title is saved only
    // while the text is the one fetched for, so the whole text is read.
    std::optional<ClipItem> whole;
    try {
        whole = m_store.wholeItem(recorded);
    } catch (const std::exception &error) {
        qCWarning(lcLinks, "Could not read a long link in full: %s", error.what());
        return;
    }
    if (!whole || !whole->text)
        return;
    const ClipItem &item = *whole;
    const std::optional<QUrl> url = recognizeLink(*item.text);
    if (!url)
        return;
    // The scheme as the user's text wrote it, compared case-sensitively: "http" and "https"
    // are fetched, "ftp" and "mailto" never.
    if (!item.text->section(QLatin1Char(':'), 0, 0).startsWith(QStringLiteral("http")))
        return;
    if (m_inFlight.contains(item.id))
        return;

    const std::int64_t itemID = item.id;
    auto fetch = std::make_unique<Fetch>();
    fetch->text = *item.text;
    fetch->link = *url;
    fetch->url = *url;
    fetch->deadline.setSingleShot(true);
    connect(&fetch->deadline, &QTimer::timeout, this, [this, itemID] {
        abandon(itemID,
            QStringLiteral("the page did not answer within %1 seconds")
                .arg(double(m_timeout.count()) / 1000.0));
    });
    fetch->deadline.start(m_timeout);
    Fetch &started = *m_inFlight.emplace(itemID, std::move(fetch)).first->second;
    request(itemID, started, *url);
}

void LinkEnricher::request(std::int64_t itemID, Fetch &fetch, const QUrl &url)
{
    QNetworkRequest request(url);
    // Redirects are followed here rather than by Qt, whose own following loses the answer
    // after a redirect on a reused connection (Qt 6.4); here each step is a fresh request
    // whose target is checked first.
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader,
        QByteArrayLiteral("Corvane/" CORVANE_VERSION " (link titles)"));
    request.setRawHeader("Accept", "text/html,application/xhtml+xml;q=0.9,*/*;q=0.1");

    fetch.reply = m_network->get(request);
    QNetworkReply *reply = fetch.reply;
    connect(reply, &QNetworkReply::readyRead, this, [this, itemID, reply] {
        const auto found = m_inFlight.find(itemID);
        if (found == m_inFlight.end())
            return;
        Fetch &current = *found->second;
        // A redirect's own body is never the page.
        if (isRedirect(*reply))
            return;
        if (!isHtml(*reply)) {
            current.hasTitleSource = false;
            abandon(itemID, {});
            return;
        }
        current.body += reply->read(maxPageBytes - current.body.size());
        // A page larger than the cap is not read to its end: its title, if it has one, is
        // nearly always near the top.
        if (current.body.size() >= maxPageBytes)
            abandon(itemID, {});
    });
    connect(reply, &QNetworkReply::finished, this, [this, itemID, reply] {
        const auto found = m_inFlight.find(itemID);
        if (found == m_inFlight.end())
            return;
        Fetch &current = *found->second;
        if (reply->error() != QNetworkReply::NoError || !isRedirect(*reply)) {
            finish(itemID);
            return;
        }
        const QUrl target = current.url.resolved(
            reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl());
        if (!isWebScheme(target.scheme()) || target.host().isEmpty()) {
            abandon(itemID, QStringLiteral("it redirects to an address that is not a web page"));
            return;
        }
        if (++current.redirects > maxRedirects) {
            abandon(itemID, QStringLiteral("it redirects more than %1 times").arg(maxRedirects));
            return;
        }
        disconnect(reply, nullptr, this, nullptr);
        reply->deleteLater();
        current.url = target;
        this->request(itemID, current, target);
    });
}

void LinkEnricher::abandon(std::int64_t itemID, const QString &reason)
{
    const auto found = m_inFlight.find(itemID);
    if (found == m_inFlight.end())
        return;
    found->second->stopped = true;
    if (!reason.isEmpty())
        found->second->failure = reason;
    finish(itemID);
}

void LinkEnricher::finish(std::int64_t itemID)
{
    auto node = m_inFlight.extract(itemID);
    if (node.empty())
        return;
    const std::unique_ptr<Fetch> fetch = std::move(node.mapped());
    QNetworkReply *reply = fetch->reply;
    disconnect(reply, nullptr, this, nullptr);
    if (fetch->stopped)
        reply->abort();
    reply->deleteLater();

    std::optional<QString> failure = fetch->failure;
    if (!fetch->stopped) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError)
            failure = reply->errorString();
        // What the server says instead of the page (a redirect without a target, say).
        else if (status != 0 && (status < 200 || status >= 300))
            failure = QStringLiteral("the server answered with status %1").arg(status);
        else if (!isHtml(*reply))
            fetch->hasTitleSource = false;
        else
            fetch->body += reply->read(maxPageBytes - fetch->body.size());
    }

    if (!failure && fetch->hasTitleSource) {
        const QByteArray contentType
            = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        if (const std::optional<QString> title = pageTitle(decodePage(fetch->body, contentType))) {
            try {
                // The user may have edited the item while the page loaded: their text and
                // title win.
                if (!m_store.updateTitle(itemID, fetch->text, *title, subtitle(fetch->link)))
                    return;
            } catch (const std::exception &error) {
                qCCritical(lcLinks, "Could not save the title for item %lld: %s",
                    static_cast<long long>(itemID), qUtf8Printable(errorDescription(error)));
                return;
            }
            if (onEnriched)
                onEnriched(itemID);
            return;
        }
    }
    if (failure)
        qCDebug(lcLinks, "No metadata for %s: %s", qUtf8Printable(siteOf(fetch->link)),
            qUtf8Printable(*failure));
}

std::optional<QString> LinkEnricher::pageTitle(const QString &html)
{
    static const QRegularExpression metaTag(
        QStringLiteral("<meta\\b([^>]*)>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression attribute(
        QStringLiteral("([^\\s=/>]+)\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+))"));
    for (auto tags = metaTag.globalMatch(html); tags.hasNext();) {
        const QString attributes = tags.next().captured(1);
        QHash<QString, QString> values;
        for (auto pairs = attribute.globalMatch(attributes); pairs.hasNext();) {
            const auto pair = pairs.next();
            values.insert(
                pair.captured(1).toLower(), pair.captured(2) + pair.captured(3) + pair.captured(4));
        }
        const QString property
            = values.value(QStringLiteral("property"), values.value(QStringLiteral("name")));
        if (property.compare(QStringLiteral("og:title"), Qt::CaseInsensitive) == 0
            && values.contains(QStringLiteral("content"))) {
            if (auto title = cleanTitle(values.value(QStringLiteral("content"))))
                return title;
        }
    }

    static const QRegularExpression titleElement(QStringLiteral("<title\\b[^>]*>(.*?)</title\\s*>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const auto match = titleElement.match(html);
    if (match.hasMatch())
        return cleanTitle(match.captured(1));
    return std::nullopt;
}

std::optional<QString> LinkEnricher::subtitle(const QUrl &url)
{
    QString host = url.host();
    if (host.startsWith(QStringLiteral("www.")))
        host.remove(0, 4);
    if (host.isEmpty())
        return std::nullopt;
    return host;
}

QString LinkEnricher::decodePage(const QByteArray &body, const QByteArray &contentType)
{
    static const QRegularExpression charset(
        QStringLiteral("charset\\s*=\\s*[\"']?([A-Za-z0-9._:-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const auto declared = charset.match(QString::fromLatin1(contentType));
    if (declared.hasMatch()) {
        QStringDecoder decoder(declared.captured(1).toLatin1().constData());
        if (decoder.isValid())
            return decoder.decode(body);
    }
    if (const auto encoding = QStringConverter::encodingForHtml(body)) {
        QStringDecoder decoder(*encoding);
        return decoder.decode(body);
    }
    return QString::fromUtf8(body);
}

QString LinkEnricher::decodeEntities(const QString &text)
{
    static const QHash<QString, char32_t> named {
        { QStringLiteral("amp"), U'&' },
        { QStringLiteral("lt"), U'<' },
        { QStringLiteral("gt"), U'>' },
        { QStringLiteral("quot"), U'"' },
        { QStringLiteral("apos"), U'\'' },
        { QStringLiteral("nbsp"), U'\u00A0' },
        { QStringLiteral("ndash"), U'\u2013' },
        { QStringLiteral("mdash"), U'\u2014' },
        { QStringLiteral("hellip"), U'\u2026' },
        { QStringLiteral("lsquo"), U'\u2018' },
        { QStringLiteral("rsquo"), U'\u2019' },
        { QStringLiteral("ldquo"), U'\u201C' },
        { QStringLiteral("rdquo"), U'\u201D' },
        { QStringLiteral("laquo"), U'\u00AB' },
        { QStringLiteral("raquo"), U'\u00BB' },
        { QStringLiteral("middot"), U'\u00B7' },
        { QStringLiteral("bull"), U'\u2022' },
        { QStringLiteral("copy"), U'\u00A9' },
        { QStringLiteral("reg"), U'\u00AE' },
        { QStringLiteral("trade"), U'\u2122' },
        { QStringLiteral("euro"), U'\u20AC' },
        { QStringLiteral("pound"), U'\u00A3' },
        { QStringLiteral("eacute"), U'\u00E9' },
        { QStringLiteral("egrave"), U'\u00E8' },
        { QStringLiteral("auml"), U'\u00E4' },
        { QStringLiteral("ouml"), U'\u00F6' },
        { QStringLiteral("uuml"), U'\u00FC' },
        { QStringLiteral("szlig"), U'\u00DF' },
    };
    static const QRegularExpression reference(
        QStringLiteral("&(#[0-9]{1,8}|#[xX][0-9a-fA-F]{1,8}|[A-Za-z][A-Za-z0-9]{1,31});"));

    QString decoded;
    qsizetype copiedUpTo = 0;
    for (auto matches = reference.globalMatch(text); matches.hasNext();) {
        const auto match = matches.next();
        const QString name = match.captured(1);
        std::optional<char32_t> character;
        if (name.startsWith(QLatin1Char('#'))) {
            const bool isHex
                = name.size() > 1 && (name[1] == QLatin1Char('x') || name[1] == QLatin1Char('X'));
            bool ok = false;
            const uint code = isHex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
            // What no character may be becomes the replacement character, as browsers do.
            const bool valid
                = ok && code != 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
            character = valid ? char32_t(code) : U'\uFFFD';
        } else if (const auto found = named.constFind(name); found != named.constEnd()) {
            character = *found;
        }
        if (!character)
            continue;
        decoded += QStringView(text).mid(copiedUpTo, match.capturedStart() - copiedUpTo);
        decoded += QString::fromUcs4(&*character, 1);
        copiedUpTo = match.capturedEnd();
    }
    decoded += QStringView(text).mid(copiedUpTo);
    return decoded;
}

} // namespace corvane
