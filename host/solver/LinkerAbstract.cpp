#include "host/solver/LinkerAbstract.h"

namespace Conflux
{
LinkerAbstract::~LinkerAbstract() = default;

void LinkerAbstract::initialize()
{
    m_initialized = true;
}

void LinkerAbstract::terminate()
{
    m_initialized = false;
}

bool LinkerAbstract::isInitialized() const
{
    return m_initialized;
}
} // namespace Conflux
