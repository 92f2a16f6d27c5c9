#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace corvane::test {

// An HTTP server on the loopback interface that keeps every request it receives (method,
// path, headers by lower-case name, body) and answers each with one fixed response, or
// never when the response is empty.
class RecordingServer : public QObject
{
public:
    struct Request
    {
        QByteArray method;
        QByteArray path;
        QMap<QByteArray, QByteArray> headers;
        QByteArray body;
    };

    RecordingServer()
    {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    ~RecordingServer() override
    {
        for (QTcpSocket *socket : m_server.findChildren<QTcpSocket *>())
            disconnect(socket, nullptr, this, nullptr);
    }

    // A complete HTTP/1.1 response with this status line and JSON body.
    static QByteArray json(const QByteArray &status, const QByteArray &body)
    {
        return "HTTP/1.1 " + status
            + "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    }

    void setResponse(const QByteArray &response) { m_response = response; }
    QString url(const QString &path = {}) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }
    const QList<Request> &requests() const { return m_requests; }

private:
    void read(QTcpSocket *socket)
    {
        QByteArray &received = m_received[socket];
        received += socket->readAll();
        const qsizetype headerEnd = received.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        Request request;
        const QList<QByteArray> lines = received.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(
                    lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (received.size() < headerEnd + 4 + length)
            return;
        request.body = received.mid(headerEnd + 4, length);
        m_received.remove(socket);
        m_requests.append(request);
        if (!m_response.isEmpty())
            socket->write(m_response);
    }

    QTcpServer m_server;
    QByteArray m_response;
    QList<Request> m_requests;
    QMap<QTcpSocket *, QByteArray> m_received;
};

} // namespace corvane::test
