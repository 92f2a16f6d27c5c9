#include "waylandkeystroketap.h"

namespace corvane {

namespace {

class WaylandKeystrokeTap : public KeystrokeTap
{
protected:
    bool isTrusted() override { return false; }
    bool open() override { return false; }
    void close() override { }
    bool isSecureInputEnabled() override { return false; }
};

} // namespace

std::unique_ptr<KeystrokeTap> createWaylandKeystrokeTap()
{
    return std::make_unique<WaylandKeystrokeTap>();
}

} // namespace corvane
