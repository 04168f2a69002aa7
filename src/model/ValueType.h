#pragma once
#include <cstdint>
#include <string>

namespace Conflux::Model
{
/// How a value attribute keeps its value: one value, or one per chronology.
enum class ValueType : std::int32_t
{
    Simple = 1,
    Chronological = 2,
};

/// "Simple", "Chronological"; any other number gives "Unknown".
std::string valueTypeToString(ValueType type);
} // namespace Conflux::Model
