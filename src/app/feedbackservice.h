#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace corvane {

// Sends a message from the feedback form to the support server: a JSON POST to
// "/api/support" signed with the build's support secret (HMAC-SHA256 over the timestamp, a
// line feed and the body). The server's address and the secret are fixed when the build is
// configured (CORVANE_FEEDBACK_URL, CORVANE_FEEDBACK_SECRET); without them nothing is sent.
// Linux offers no device attestation, so no attestation fields or assertion header are sent.
// The form's state (sending, sent, the error) lives here too, for the window to show.
class FeedbackService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isConfigured READ isConfigured CONSTANT)
    Q_PROPERTY(QString applicationVersion READ applicationVersion CONSTANT)
    Q_PROPERTY(QString operatingSystemVersion READ operatingSystemVersion CONSTANT)
    Q_PROPERTY(bool sending READ sending NOTIFY formChanged)
    Q_PROPERTY(bool sent READ sent NOTIFY formChanged)
    Q_PROPERTY(QString errorText READ errorText NOTIFY formChanged)
    Q_PROPERTY(QString replyAddress READ replyAddress NOTIFY formChanged)

public:
    enum class Category { feedback, bug, feature };
    Q_ENUM(Category)

    // What is sent for a category ("feedback", "bug", "feature").
    static QString rawValue(Category category);
    // What the form shows for it ("Feedback", "Bug", "Idea").
    Q_INVOKABLE static QString label(corvane::FeedbackService::Category category);

    struct FeedbackError
    {
        enum class Kind { server, network, notConfigured };
        Kind kind = Kind::notConfigured;
        // server: the HTTP status and the "message" of the answer (may be empty).
        int status = 0;
        QString message;
        // network: what went wrong.
        QString description;

        // The sentence the form shows; host is the support server's host name.
        QString text(const QString &host) const;
    };

    struct Config
    {
        // The support server: https, or http to a loopback address; empty when none.
        QUrl server;
        QByteArray secret;
        QString applicationName = QStringLiteral("Corvane");
        QString applicationVersion = QStringLiteral(CORVANE_VERSION " (" CORVANE_BUILD_NUMBER ")");
        QString platform = QStringLiteral("Linux");
        QString operatingSystemVersion = systemVersion();
        // The current time in whole seconds since 1970.
        std::function<qint64()> clock;
        std::chrono::milliseconds timeout { 20000 };

        // The address and secret fixed when the build was configured.
        static Config fromBuild();
    };

    // The distribution and its version ("debian 12"), or the kernel's when it has none.
    static QString systemVersion();
    // Lowercase hexadecimal HMAC-SHA256 with secret as key over timestamp, "\n" and body.
    static QByteArray signature(
        const QByteArray &secret, const QByteArray &timestamp, const QByteArray &body);

    explicit FeedbackService(Config config = Config::fromBuild(), QObject *parent = nullptr);
    ~FeedbackService() override;

    // The server address and a secret are present.
    bool isConfigured() const;
    QString applicationVersion() const { return m_config.applicationVersion; }
    QString operatingSystemVersion() const { return m_config.operatingSystemVersion; }
    QString host() const { return m_config.server.host(); }

    using Completion = std::function<void(const std::optional<FeedbackError> &)>;
    // Sends the message and the e-mail address (trimmed of spaces and tabs; left out when
    // empty); done gets nothing on success (status 200) or the error. Without a
    // configuration done is called at once with notConfigured. One send at a time: a send
    // while one is running fails at once with a network error.
    void send(Category category, const QString &message, const QString &email, Completion done);

    // The form's Send: trims the message of white space and line breaks, sends, and moves
    // the form to sent or back to editing with errorText set.
    Q_INVOKABLE void submit(
        corvane::FeedbackService::Category category, const QString &message, const QString &email);
    // Back to an empty form (a new window).
    Q_INVOKABLE void reset();

    bool sending() const { return m_sending; }
    bool sent() const { return m_sent; }
    QString errorText() const { return m_errorText; }
    // The trimmed e-mail address of the sent message, for "I'll reply to …".
    QString replyAddress() const { return m_replyAddress; }

Q_SIGNALS:
    void formChanged();

private:
    void finish(QNetworkReply *reply, const Completion &done);

    Config m_config;
    QNetworkAccessManager *m_network;
    QPointer<QNetworkReply> m_reply;
    QTimer m_timeout;
    bool m_timedOut = false;
    bool m_sending = false;
    bool m_sent = false;
    QString m_errorText;
    QString m_replyAddress;
};

} // namespace corvane
