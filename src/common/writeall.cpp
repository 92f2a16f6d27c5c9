#include "writeall.h"

#include <unistd.h>

#include <cerrno>

namespace corvane {

bool writeAll(int descriptor, QByteArrayView bytes)
{
    const char *data = bytes.data();
    qsizetype remaining = bytes.size();
    while (remaining > 0) {
        const ssize_t written = ::write(descriptor, data, size_t(remaining));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        remaining -= written;
    }
    return true;
}

} // namespace corvane
