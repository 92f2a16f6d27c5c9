#include "testsupport.h"

#include <sys/stat.h>

namespace corvane::test {

ScopedUmask::ScopedUmask(unsigned mask)
    : m_previous(::umask(mode_t(mask)))
{ }

ScopedUmask::~ScopedUmask()
{
    ::umask(mode_t(m_previous));
}

} // namespace corvane::test
