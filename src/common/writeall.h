#pragma once

#include <QByteArrayView>

namespace corvane {

// Writes every byte to the descriptor, carrying on after short writes and interruptions;
// false (with errno set) when a write fails, for example because the reader has gone.
bool writeAll(int descriptor, QByteArrayView bytes);

} // namespace corvane
