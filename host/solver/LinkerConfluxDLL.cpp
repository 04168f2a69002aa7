#include "host/solver/LinkerConfluxDLL.h"

#include <utility>

namespace Conflux
{
LinkerConfluxDLL::LinkerConfluxDLL(std::string libraryBaseName)
    : m_libraryBaseName(std::move(libraryBaseName))
{
}

std::string LinkerConfluxDLL::getName() const
{
    return m_libraryBaseName;
}

std::string LinkerConfluxDLL::getLibraryName(Utilities::OperatingSystem os) const
{
    switch (os)
    {
    case Utilities::OperatingSystem::Windows:
        return m_libraryBaseName + ".dll";
    case Utilities::OperatingSystem::Linux:
        return "lib" + m_libraryBaseName + ".so";
    }
    return {};
}
} // namespace Conflux
