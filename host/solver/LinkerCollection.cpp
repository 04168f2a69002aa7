#include "host/solver/LinkerCollection.h"

#include "host/filesystem/DataIStream.h"
#include "host/filesystem/DataOStream.h"
#include "host/solver/LinkerFactory.h"

#include <algorithm>

namespace Conflux
{
bool LinkerCollection::operator==(const LinkerCollection& other) const
{
    return std::equal(m_linkers.begin(), m_linkers.end(), other.m_linkers.begin(), other.m_linkers.end(),
                      [](const LinkerContainer& a, const LinkerContainer& b) { return *a == *b; });
}

void LinkerCollection::write(FileSystem::DataOStream& stream) const
{
    stream.openTag("Linkers");
    stream.field("count", static_cast<std::uint32_t>(m_linkers.size()));
    for (const LinkerContainer& linker : m_linkers)
    {
        stream.field("type", static_cast<std::int32_t>(linker->getType()));
        linker->write(stream);
    }
    stream.closeTag("Linkers");
}

void LinkerCollection::read(FileSystem::DataIStream& stream)
{
    stream.openTag("Linkers");
    std::uint32_t count = 0;
    stream.field("count", count);
    // A linker takes at least its kind and the two lines of its section.
    if (!stream.checkCount(count, 8))
        return;
    std::vector<LinkerContainer> linkers;
    for (std::uint32_t i = 0; i < count && stream.good(); ++i)
    {
        std::int32_t number = 0;
        stream.field("type", number);
        if (stream.fail())
            return;
        const auto type = linkerTypeFromInt(number);
        std::unique_ptr<LinkerAbstract> linker = type ? LinkerFactory::create(*type) : nullptr;
        if (!linker)
        {
            stream.setFailed("Linker " + std::to_string(i + 1) + " of " + std::to_string(count) +
                             ": no linker of type " + std::to_string(number) + " is known");
            return;
        }
        linker->read(stream);
        linkers.emplace_back(std::move(linker));
    }
    stream.closeTag("Linkers");
    if (stream.good())
        m_linkers = std::move(linkers);
}
} // namespace Conflux
