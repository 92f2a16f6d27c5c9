#include "updater.h"

#include "preferences/preferences.h"
#include "app/serviceaddress.h"
#include "common/logging.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace corvane {

namespace {

// A feed is a few hundred bytes; anything much larger is not one.
constexpr qint64 feedByteLimit = 64 * 1024;

std::optional<QList<qulonglong>> versionParts(const QString &version)
{
    QList<qulonglong> parts;
    for (const QString &part : version.split(u'.')) {
        if (part.isEmpty() || part.size() > 9)
            return std::nullopt;
        for (QChar c : part) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
        }
        parts.append(part.toULongLong());
    }
    return parts;
}

} // namespace

Updater::Config Updater::Config::fromBuild()
{
    Config config;
    config.feed = QUrl(QStringLiteral(CORVANE_UPDATE_FEED_URL));
    return config;
}

Updater::Updater(Preferences &preferences, Config config, QObject *parent)
    : QObject(parent)
    , m_preferences(preferences)
    , m_config(std::move(config))
    , m_network(new QNetworkAccessManager(this))
{
    if (!isConfigured())
        m_status = Status::unavailable;
    m_statusText = isConfigured() ? QString()
                                  : QStringLiteral("Update checks aren't available in this build.");
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        if (m_reply)
            m_reply->abort();
    });
    connect(&m_automaticCheck, &QTimer::timeout, this, [this] {
        m_automaticCheck.setInterval(m_config.checkInterval);
        checkForUpdates();
    });
    connect(&m_preferences, &Preferences::automaticallyChecksForUpdatesChanged, this, [this] {
        scheduleAutomaticChecks();
        Q_EMIT automaticallyChecksForUpdatesChanged();
    });
    scheduleAutomaticChecks();
}

Updater::~Updater()
{
    if (m_reply) {
        disconnect(m_reply, nullptr, this, nullptr);
        m_reply->abort();
    }
}

bool Updater::isConfigured() const
{
    return isUsableServiceAddress(m_config.feed);
}

bool Updater::automaticallyChecksForUpdates() const
{
    return m_preferences.automaticallyChecksForUpdates();
}

void Updater::setAutomaticallyChecksForUpdates(bool value)
{
    m_preferences.setAutomaticallyChecksForUpdates(value);
}

void Updater::scheduleAutomaticChecks()
{
    if (isConfigured() && automaticallyChecksForUpdates()) {
        if (!m_automaticCheck.isActive()) {
            m_automaticCheck.setInterval(m_config.firstCheckDelay);
            m_automaticCheck.start();
        }
    } else {
        m_automaticCheck.stop();
    }
}

std::optional<int> Updater::compareVersions(const QString &a, const QString &b)
{
    const auto left = versionParts(a);
    const auto right = versionParts(b);
    if (!left || !right)
        return std::nullopt;
    for (qsizetype i = 0; i < std::max(left->size(), right->size()); ++i) {
        const qulonglong l = left->value(i, 0);
        const qulonglong r = right->value(i, 0);
        if (l != r)
            return l < r ? -1 : 1;
    }
    return 0;
}

void Updater::checkForUpdates()
{
    if (!canCheckForUpdates())
        return;
    QNetworkRequest request(m_config.feed);
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setRawHeader("Accept", "application/json");
    request.setHeader(QNetworkRequest::UserAgentHeader,
        QStringLiteral("Corvane/%1 (Linux)").arg(m_config.currentVersion));
    m_timedOut = false;
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::finished, this, [this, reply = m_reply.data()] {
        m_timeout.stop();
        finish(reply);
        reply->deleteLater();
    });
    m_timeout.start(m_config.timeout);
    m_latestVersion.clear();
    m_downloadPage.clear();
    setResult(Status::checking, QStringLiteral("Checking for updates…"));
    Q_EMIT canCheckForUpdatesChanged();
}

void Updater::finish(QNetworkReply *reply)
{
    const QString host = m_config.feed.host();
    if (m_timedOut) {
        fail(QStringLiteral("Couldn't reach %1: The request timed out.").arg(host));
        return;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        fail(QStringLiteral("Couldn't reach %1: %2")
                 .arg(host,
                     reply->error() != QNetworkReply::NoError ? reply->errorString()
                                                              : QStringLiteral("no response")));
        return;
    }
    if (status.toInt() != 200) {
        fail(QStringLiteral("The update server answered with status %1.").arg(status.toInt()));
        return;
    }
    const QByteArray body = reply->read(feedByteLimit + 1);
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    const auto malformed = [this](const QString &why) {
        fail(QStringLiteral("The update feed isn't valid: %1.").arg(why));
    };
    if (body.size() > feedByteLimit)
        return malformed(QStringLiteral("it is larger than %1 KB").arg(feedByteLimit / 1024));
    if (parseError.error != QJsonParseError::NoError)
        return malformed(QStringLiteral("it is not JSON (%1)").arg(parseError.errorString()));
    if (!document.isObject())
        return malformed(QStringLiteral("it is not a JSON object"));
    const QJsonObject feed = document.object();
    const QString version = feed.value(QLatin1String("version")).toString();
    const auto comparison = compareVersions(m_config.currentVersion, version);
    if (!comparison)
        return malformed(QStringLiteral("\"version\" is not a version number"));
    const QUrl page(feed.value(QLatin1String("downloadPage")).toString(), QUrl::StrictMode);
    if (!page.isValid() || page.host().isEmpty()
        || (page.scheme() != u"https" && page.scheme() != u"http"))
        return malformed(QStringLiteral("\"downloadPage\" is not a web address"));

    m_latestVersion = version;
    m_downloadPage = page;
    if (*comparison < 0) {
        setResult(Status::updateAvailable,
            QStringLiteral("Corvane %1 is available — you have %2.")
                .arg(version, m_config.currentVersion));
    } else if (*comparison == 0) {
        setResult(Status::upToDate,
            QStringLiteral("Corvane %1 is the latest version.").arg(m_config.currentVersion));
    } else {
        setResult(Status::newerThanRelease,
            QStringLiteral("This build (%1) is newer than the latest release (%2).")
                .arg(m_config.currentVersion, version));
    }
    qCInfo(lcUpdates, "Update check: this build %s, latest release %s",
        qUtf8Printable(m_config.currentVersion), qUtf8Printable(version));
    Q_EMIT canCheckForUpdatesChanged();
    Q_EMIT checkFinished();
}

void Updater::fail(const QString &reason)
{
    qCWarning(lcUpdates, "Could not check for updates: %s", qUtf8Printable(reason));
    setResult(Status::failed, reason);
    Q_EMIT canCheckForUpdatesChanged();
    Q_EMIT checkFinished();
}

void Updater::setResult(Status status, const QString &text)
{
    m_status = status;
    m_statusText = text;
    Q_EMIT resultChanged();
}

} // namespace corvane
