#pragma once

#include <QByteArray>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

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

} // namespace corvane::test
