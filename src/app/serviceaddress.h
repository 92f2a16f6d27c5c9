#pragma once

#include <QHostAddress>
#include <QUrl>

namespace corvane {

// Whether a server address fixed at build time may be used: HTTPS anywhere, plain HTTP only
// to this machine's loopback interface (where a test server answers).
inline bool isUsableServiceAddress(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == u"https")
        return true;
    return url.scheme() == u"http"
        && (url.host() == u"localhost" || QHostAddress(url.host()).isLoopback());
}

} // namespace corvane
