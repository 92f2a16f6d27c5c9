#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace corvane {

class Preferences;

// Tells the user whether a newer Corvane has been released and where to download it. It
// reads a release feed over HTTPS, a JSON object such as
//   {"version": "0.2.0", "downloadPage": "https://example.org/corvane/download"}
// whose address is fixed when the build is configured (CORVANE_UPDATE_FEED_URL); a build
// without one cannot check and says so. Nothing is installed: packages are updated by the
// package manager. With automatic checking on, it checks shortly after it is created and
// then once a day.
class Updater : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isConfigured READ isConfigured CONSTANT)
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
            setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)
    Q_PROPERTY(corvane::Updater::Status status READ status NOTIFY resultChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY resultChanged)
    Q_PROPERTY(QString currentVersion READ currentVersion CONSTANT)
    Q_PROPERTY(QString latestVersion READ latestVersion NOTIFY resultChanged)
    Q_PROPERTY(QUrl downloadPage READ downloadPage NOTIFY resultChanged)

public:
    enum class Status {
        // No check has run yet.
        idle,
        checking,
        // The feed names a newer version than this build.
        updateAvailable,
        upToDate,
        // This build is newer than the feed's version (a development build).
        newerThanRelease,
        failed,
        // The build has no feed address.
        unavailable,
    };
    Q_ENUM(Status)

    struct Config
    {
        // The feed's address: https, or http to a loopback address; empty when none.
        QUrl feed;
        QString currentVersion = QStringLiteral(CORVANE_VERSION);
        // How long a check may wait for the feed.
        std::chrono::milliseconds timeout { 20000 };
        // The automatic check: the first one after this delay, then at this interval.
        std::chrono::milliseconds firstCheckDelay { 10000 };
        std::chrono::milliseconds checkInterval { 24LL * 3600 * 1000 };

        // The address fixed when the build was configured.
        static Config fromBuild();
    };

    // preferences holds the automatic-check setting and outlives the updater.
    explicit Updater(
        Preferences &preferences, Config config = Config::fromBuild(), QObject *parent = nullptr);
    ~Updater() override;

    bool isConfigured() const;
    bool canCheckForUpdates() const { return isConfigured() && m_status != Status::checking; }
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool value);
    Status status() const { return m_status; }
    // One sentence for the user about the last check (or why none can run).
    QString statusText() const { return m_statusText; }
    QString currentVersion() const { return m_config.currentVersion; }
    // The feed's version and download page after a successful check, else empty.
    QString latestVersion() const { return m_latestVersion; }
    QUrl downloadPage() const { return m_downloadPage; }

    // Starts a check unless one is running or the build has no feed; resultChanged and
    // checkFinished tell the outcome.
    Q_INVOKABLE void checkForUpdates();

    // Compares dotted version numbers ("0.10.2" > "0.9"; missing parts count as 0): negative,
    // zero or positive as a is older, the same or newer; nothing when either is not made of
    // decimal numbers separated by dots.
    static std::optional<int> compareVersions(const QString &a, const QString &b);

Q_SIGNALS:
    void canCheckForUpdatesChanged();
    void automaticallyChecksForUpdatesChanged();
    void resultChanged();
    void checkFinished();

private:
    void finish(QNetworkReply *reply);
    void fail(const QString &reason);
    void setResult(Status status, const QString &text);
    void scheduleAutomaticChecks();

    Preferences &m_preferences;
    Config m_config;
    QNetworkAccessManager *m_network;
    QPointer<QNetworkReply> m_reply;
    QTimer m_timeout;
    QTimer m_automaticCheck;
    bool m_timedOut = false;
    Status m_status = Status::idle;
    QString m_statusText;
    QString m_latestVersion;
    QUrl m_downloadPage;
};

} // namespace corvane
