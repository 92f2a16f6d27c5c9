#include "synthetickeyledger.h"

namespace corvane {

qint64 SyntheticKeyLedger::now() const
{
    return m_clock.isValid() ? m_clock.elapsed() : 0;
}

void SyntheticKeyLedger::notePosted(std::uint32_t keycode)
{
    if (!m_clock.isValid())
        m_clock.start();
    m_posted.push_back({ keycode, now() });
}

bool SyntheticKeyLedger::takeIfPosted(std::uint32_t keycode)
{
    const qint64 current = now();
    while (!m_posted.empty() && current - m_posted.front().postedMs > expiryMs)
        m_posted.pop_front();
    if (m_posted.empty() || m_posted.front().keycode != keycode)
        return false;
    m_posted.pop_front();
    return true;
}

} // namespace corvane
