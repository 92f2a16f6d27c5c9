#include "fakeactivationnotifier.h"

namespace corvane {

namespace {

class FakeRegistration final : public ActivationNotifier::Registration
{
public:
    FakeRegistration(std::map<int, std::function<void()>> &handlers, int id)
        : m_handlers(handlers)
        , m_id(id)
    { }
    ~FakeRegistration() override { m_handlers.erase(m_id); }

private:
    std::map<int, std::function<void()>> &m_handlers;
    int m_id;
};

} // namespace

std::unique_ptr<ActivationNotifier::Registration> FakeActivationNotifier::observe(
    std::function<void()> handler)
{
    const int id = ++m_lastId;
    m_handlers.emplace(id, std::move(handler));
    return std::make_unique<FakeRegistration>(m_handlers, id);
}

void FakeActivationNotifier::activate()
{
    const auto handlers = m_handlers;
    for (const auto &[id, handler] : handlers) {
        if (m_handlers.contains(id))
            handler();
    }
}

} // namespace corvane
