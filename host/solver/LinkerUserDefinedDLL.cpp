#include "host/solver/LinkerUserDefinedDLL.h"

#include <utility>

namespace Conflux
{
LinkerUserDefinedDLL::LinkerUserDefinedDLL(std::string name, Files files)
    : m_name(std::move(name)), m_files(std::move(files))
{
}

std::string LinkerUserDefinedDLL::getLibraryName(Utilities::OperatingSystem os) const
{
    const auto found = m_files.find(os);
    return found == m_files.end() ? std::string() : found->second;
}

bool LinkerUserDefinedDLL::isEqual(const LinkerUserDefinedDLL& other) const
{
    return m_name == other.m_name && m_files == other.m_files;
}

void LinkerUserDefinedDLL::toStream(FileSystem::DataOStream& stream) const
{
    stream.field("name", m_name);
    stream.field("fileCount", static_cast<std::uint32_t>(m_files.size()));
    for (const auto& [os, file] : m_files)
    {
        stream.field("platform", static_cast<std::int32_t>(os));
        stream.field("file", file);
    }
}

void LinkerUserDefinedDLL::fromStream(FileSystem::DataIStream& stream)
{
    std::string name;
    std::uint32_t count = 0;
    stream.field("name", name);
    stream.field("fileCount", count);
    // Each entry holds at least a platform number and a string length.
    if (!stream.checkCount(count, 8))
        return;
    Files files;
    for (std::uint32_t i = 0; i < count && stream.good(); ++i)
    {
        std::int32_t platform = 0;
        std::string file;
        stream.field("platform", platform);
        stream.field("file", file);
        if (stream.fail())
            return;
        const auto os = static_cast<Utilities::OperatingSystem>(platform);
        if (os != Utilities::OperatingSystem::Windows && os != Utilities::OperatingSystem::Linux)
        {
            stream.setFailed("Library " + name + ": unknown platform " + std::to_string(platform));
            return;
        }
        files[os] = std::move(file);
    }
    if (stream.good())
    {
        m_name = std::move(name);
        m_files = std::move(files);
    }
}
} // namespace Conflux
