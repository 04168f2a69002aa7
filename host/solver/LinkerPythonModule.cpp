#include "host/solver/LinkerPythonModule.h"

#include <utility>

namespace Conflux
{
namespace
{
const char* const pythonLibrary = "ConfluxPython";
}

LinkerPythonModule::LinkerPythonModule() : LinkerBase(pythonLibrary) {}

LinkerPythonModule::LinkerPythonModule(std::string name, std::string source)
    : LinkerBase(pythonLibrary), m_name(std::move(name)), m_source(std::move(source))
{
}

bool LinkerPythonModule::isEqual(const LinkerPythonModule& other) const
{
    return m_name == other.m_name && m_source == other.m_source;
}

void LinkerPythonModule::toStream(FileSystem::DataOStream& stream) const
{
    stream.field("name", m_name);
    stream.field("source", m_source);
}

void LinkerPythonModule::fromStream(FileSystem::DataIStream& stream)
{
    std::string name;
    std::string source;
    stream.field("name", name);
    stream.field("source", source);
    if (stream.good())
    {
        m_name = std::move(name);
        m_source = std::move(source);
    }
}
} // namespace Conflux
