#pragma once

#include "store/clipitem.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace corvane {

class ClipStore;

// Gives copied web links their page's title: fetches the page of an http or https link once
// it is recorded and, when the page names a title, saves it (with the host as subtitle) in
// place of the title made from the address. At most one fetch per item is under way.
class LinkEnricher : public QObject
{
    Q_OBJECT

public:
    // How long a fetch may take in all, redirects included.
    static constexpr std::chrono::milliseconds defaultTimeout { 8000 };
    // How many redirects a fetch follows, each only to an http or https address.
    static constexpr int maxRedirects = 5;
    // How much of a page is read; a title further in is not found.
    static constexpr qsizetype maxPageBytes = 1 << 20;

    explicit LinkEnricher(ClipStore &store, std::chrono::milliseconds timeout = defaultTimeout,
        QObject *parent = nullptr);
    ~LinkEnricher() override;

    // Starts fetching the title of a link item's page and returns at once; anything but an
    // http(s) link item, or an item already being fetched, is ignored. The title arrives
    // later through the store and onEnriched.
    void enrich(const ClipItem &item);
    // Whether a fetch for the item is under way.
    bool isFetching(std::int64_t itemID) const { return m_inFlight.contains(itemID); }

    // Told after a title was saved; installed by the owner, may stay empty.
    std::function<void(std::int64_t itemID)> onEnriched;

    // The title an HTML page names: its "og:title" meta property, else its <title>, with
    // character references decoded and white space collapsed; nothing when it has none or
    // only white space.
    static std::optional<QString> pageTitle(const QString &html);
    // The page's text, decoded by the charset of the Content-Type header, else of the page's
    // own meta declaration, else as UTF-8.
    static QString decodePage(const QByteArray &body, const QByteArray &contentType);
    // The subtitle saved with a title: the link's host without a leading "www.", or nothing
    // when it has no host.
    static std::optional<QString> subtitle(const QUrl &url);
    // Text with HTML character references (named, decimal, hexadecimal) replaced.
    static QString decodeEntities(const QString &text);

private:
    struct Fetch;

    void finish(std::int64_t itemID);
    void abandon(std::int64_t itemID, const QString &reason);

    ClipStore &m_store;
    std::chrono::milliseconds m_timeout;
    QNetworkAccessManager *m_network;
    std::map<std::int64_t, std::unique_ptr<Fetch>> m_inFlight;
};

} // namespace corvane
