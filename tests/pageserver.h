#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>

namespace corvane::test {

// An HTTP/1.1 response with a body of its length.
inline QByteArray response(QByteArray status, QByteArray contentType, const QByteArray &body,
    const QByteArray &extraHeaders = {})
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + contentType + "\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
}

// A JSON response that closes its connection.
inline QByteArray jsonResponse(const QByteArray &status, const QByteArray &body)
{
    return response(status, "application/json", body, "Connection: close\r\n");
}

// A small web server on the loopback interface: each path answers as the test set it up,
// optionally after a delay, and every request is kept (method, path, headers by lower-case
// name, body).
class PageServer : public QObject
{
public:
    struct Page
    {
        QByteArray response;
        std::chrono::milliseconds delay { 0 };
    };
    struct Request
    {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers;
        QByteArray body;
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
    // How paths without a page of their own answer (404 unless set); an empty response is
    // never sent.
    void setFallback(Page page) { m_fallback = std::move(page); }
    QString url(const QByteArray &path = {}) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2")
            .arg(m_server.serverPort())
            .arg(QString::fromLatin1(path));
    }
    const QList<Request> &requests() const { return m_requests; }
    qsizetype requests(const QByteArray &path) const
    {
        return std::count_if(m_requests.cbegin(), m_requests.cend(),
            [&](const Request &request) { return request.path == path; });
    }

private:
    void serve(QTcpSocket *socket)
    {
        // Connections are kept alive: the client may send its next request (a redirect's
        // target) on the same one. Requests are answered in order, each after its delay.
        QByteArray &received = m_received[socket];
        received += socket->readAll();
        for (qsizetype end = received.indexOf("\r\n\r\n"); end >= 0;
             end = received.indexOf("\r\n\r\n")) {
            Request request;
            const QList<QByteArray> lines = received.left(end).split('\n');
            const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
            request.method = requestLine.value(0);
            request.path = requestLine.value(1);
            for (const QByteArray &line : lines.mid(1)) {
                const qsizetype colon = line.indexOf(':');
                if (colon > 0)
                    request.headers.insert(
                        line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
            }
            const qsizetype length = request.headers.value("content-length", "0").toLongLong();
            if (received.size() < end + 4 + length)
                return;
            request.body = received.mid(end + 4, length);
            received.remove(0, end + 4 + length);
            m_requests.append(request);
            const Page page = m_pages.value(request.path, m_fallback);
            if (page.response.isEmpty())
                continue;
            QPointer<QTcpSocket> guarded(socket);
            QTimer::singleShot(page.delay, socket, [guarded, page] {
                if (guarded)
                    guarded->write(page.response);
            });
        }
    }

    QTcpServer m_server;
    QHash<QByteArray, Page> m_pages;
    Page m_fallback { response("404 Not Found", "text/plain", "no") };
    QList<Request> m_requests;
    QHash<QTcpSocket *, QByteArray> m_received;
};

} // namespace corvane::test
