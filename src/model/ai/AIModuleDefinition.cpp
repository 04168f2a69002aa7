#include "src/model/ai/AIModuleDefinition.h"

#include "host/filesystem/DataIStream.h"
#include "host/filesystem/DataOStream.h"

namespace Conflux
{
AIModuleDefinition::AIModuleDefinition(AISystem::ModuleType type, Utilities::bytearray data)
    : m_type(type), m_data(std::move(data))
{
}

void AIModuleDefinition::write(FileSystem::DataOStream& stream) const
{
    stream.openTag("AIModuleDefinition");
    stream.field("ModuleType", static_cast<std::int32_t>(m_type));
    stream.field("Data", m_data);
    stream.closeTag("AIModuleDefinition");
}

void AIModuleDefinition::read(FileSystem::DataIStream& stream)
{
    stream.openTag("AIModuleDefinition");
    stream.label("ModuleType");
    m_type = static_cast<AISystem::ModuleType>(stream.read<std::int32_t>());
    stream.field("Data", m_data);
    stream.closeTag("AIModuleDefinition");
}
} // namespace Conflux
