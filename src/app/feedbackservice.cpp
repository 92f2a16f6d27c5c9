#include "feedbackservice.h"

#include "app/serviceaddress.h"
#include "common/logging.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSysInfo>

namespace corvane {

namespace {

// Only spaces and tabs: an address typed with a trailing line break is not an address.
QString trimmedSpacesAndTabs(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t'))
        ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    return text.mid(begin, end - begin);
}

// A secret still holding a placeholder that the build did not fill in counts as absent.
bool isUsableSecret(const QByteArray &secret)
{
    return !secret.isEmpty() && !secret.startsWith("$(") && !secret.startsWith("@");
}

} // namespace

QString FeedbackService::rawValue(Category category)
{
    switch (category) {
    case Category::feedback:
        return QStringLiteral("feedback");
    case Category::bug:
        return QStringLiteral("bug");
    case Category::feature:
        return QStringLiteral("feature");
    }
    return QStringLiteral("feedback");
}

QString FeedbackService::label(Category category)
{
    switch (category) {
    case Category::feedback:
        return QStringLiteral("Feedback");
    case Category::bug:
        return QStringLiteral("Bug");
    case Category::feature:
        return QStringLiteral("Idea");
    }
    return QStringLiteral("Feedback");
}

QString FeedbackService::FeedbackError::text(const QString &host) const
{
    switch (kind) {
    case Kind::server:
        if (status == 401)
            return QStringLiteral("This build can't send feedback — please use the website.");
        if (status == 429)
            return QStringLiteral("Too many messages in a row — try again in a few minutes.");
        if (!message.isEmpty())
            return message;
        return QStringLiteral("The server didn't accept it (%1).").arg(status);
    case Kind::network:
        return QStringLiteral("Couldn't reach %1: %2").arg(host, description);
    case Kind::notConfigured:
        break;
    }
    return QStringLiteral("Feedback isn't available in this build.");
}

FeedbackService::Config FeedbackService::Config::fromBuild()
{
    Config config;
    config.server = QUrl(QStringLiteral(CORVANE_FEEDBACK_URL));
    config.secret = QByteArrayLiteral(CORVANE_FEEDBACK_SECRET);
    return config;
}

QString FeedbackService::systemVersion()
{
    const QString product = QSysInfo::productType();
    const QString version = QSysInfo::productVersion();
    if (product.isEmpty() || product == u"unknown" || version == u"unknown")
        return QSysInfo::kernelType() + u' ' + QSysInfo::kernelVersion();
    return product + u' ' + version;
}

QByteArray FeedbackService::signature(
    const QByteArray &secret, const QByteArray &timestamp, const QByteArray &body)
{
    return QMessageAuthenticationCode::hash(
        timestamp + '\n' + body, secret, QCryptographicHash::Sha256)
        .toHex();
}

FeedbackService::FeedbackService(Config config, QObject *parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_network(new QNetworkAccessManager(this))
{
    if (!m_config.clock)
        m_config.clock = [] { return QDateTime::currentSecsSinceEpoch(); };
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        if (m_reply)
            m_reply->abort();
    });
}

FeedbackService::~FeedbackService()
{
    if (m_reply) {
        disconnect(m_reply, nullptr, this, nullptr);
        m_reply->abort();
    }
}

bool FeedbackService::isConfigured() const
{
    return isUsableServiceAddress(m_config.server) && isUsableSecret(m_config.secret);
}

void FeedbackService::send(
    Category category, const QString &message, const QString &email, Completion done)
{
    if (!isConfigured()) {
        done(FeedbackError { .kind = FeedbackError::Kind::notConfigured });
        return;
    }
    if (m_reply) {
        done(FeedbackError { .kind = FeedbackError::Kind::network,
            .description = QStringLiteral("another message is still being sent") });
        return;
    }

    QJsonObject fields {
        { QStringLiteral("app"), m_config.applicationName },
        { QStringLiteral("category"), rawValue(category) },
        { QStringLiteral("message"), message },
        { QStringLiteral("version"), m_config.applicationVersion },
        { QStringLiteral("platform"), m_config.platform },
        { QStringLiteral("os"), m_config.operatingSystemVersion },
    };
    const QString address = trimmedSpacesAndTabs(email);
    if (!address.isEmpty())
        fields.insert(QStringLiteral("email"), address);
    // QJsonObject keeps its keys sorted, so the same fields always give the same bytes and
    // the server can check the signature over exactly what it received.
    const QByteArray body = QJsonDocument(fields).toJson(QJsonDocument::Compact);
    const QByteArray timestamp = QByteArray::number(m_config.clock());

    QUrl url = m_config.server;
    url.setPath(QStringLiteral("/api/support"));
    QNetworkRequest request(url);
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setRawHeader("Content-Type", "application/json");
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("X-Support-Timestamp", timestamp);
    request.setRawHeader("X-Support-Signature", signature(m_config.secret, timestamp, body));
    request.setRawHeader("User-Agent",
        (QString(m_config.applicationName).remove(u' ') + u'/' + m_config.applicationVersion
            + QStringLiteral(" (") + m_config.platform + u' ' + m_config.operatingSystemVersion
            + u')')
            .toUtf8());

    m_timedOut = false;
    m_reply = m_network->post(request, body);
    connect(m_reply, &QNetworkReply::finished, this, [this, reply = m_reply.data(), done] {
        m_timeout.stop();
        reply->deleteLater();
        m_reply.clear();
        finish(reply, done);
    });
    m_timeout.start(m_config.timeout);
}

void FeedbackService::finish(QNetworkReply *reply, const Completion &done)
{
    if (m_timedOut) {
        done(FeedbackError { .kind = FeedbackError::Kind::network,
            .description = QStringLiteral("The request timed out.") });
        return;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        done(FeedbackError { .kind = FeedbackError::Kind::network,
            .description = reply->error() != QNetworkReply::NoError
                ? reply->errorString()
                : QStringLiteral("no response") });
        return;
    }
    if (status.toInt() == 200) {
        done(std::nullopt);
        return;
    }
    const QJsonValue message
        = QJsonDocument::fromJson(reply->readAll()).object().value(QLatin1String("message"));
    done(FeedbackError { .kind = FeedbackError::Kind::server,
        .status = status.toInt(),
        .message = message.isString() ? message.toString() : QString() });
}

void FeedbackService::submit(Category category, const QString &message, const QString &email)
{
    if (m_sending)
        return;
    m_errorText.clear();
    m_sending = true;
    Q_EMIT formChanged();
    const QString address = trimmedSpacesAndTabs(email);
    send(category, message.trimmed(), email,
        [this, address](const std::optional<FeedbackError> &error) {
            m_sending = false;
            if (error) {
                m_errorText = error->text(host());
                qCWarning(lcFeedback, "Could not send feedback: %s", qUtf8Printable(m_errorText));
            } else {
                m_sent = true;
                m_replyAddress = address;
            }
            Q_EMIT formChanged();
        });
}

void FeedbackService::reset()
{
    if (m_sending)
        return;
    m_sent = false;
    m_errorText.clear();
    m_replyAddress.clear();
    Q_EMIT formChanged();
}

} // namespace corvane
