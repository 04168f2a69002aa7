#pragma once
#include "host/ai/modules/ModuleType.h"
#include "host/filesystem/ByteArray.h"

namespace FileSystem
{
class DataOStream;
class DataIStream;
} // namespace FileSystem

namespace Conflux
{
/// The solver's record of one AI model: its module type and its serialised solver data.
class AIModuleDefinition
{
public:
    AIModuleDefinition() = default;
    AIModuleDefinition(AISystem::ModuleType type, Utilities::bytearray data);

    AISystem::ModuleType getType() const { return m_type; }
    const Utilities::bytearray& getData() const { return m_data; }

    /// Section "AIModuleDefinition": the type (32-bit) and the data.
    void write(FileSystem::DataOStream& stream) const;
    void read(FileSystem::DataIStream& stream);

    /// Same type and same bytes.
    bool operator==(const AIModuleDefinition&) const = default;

private:
    AISystem::ModuleType m_type = AISystem::ModuleType::None;
    Utilities::bytearray m_data;
};
} // namespace Conflux
