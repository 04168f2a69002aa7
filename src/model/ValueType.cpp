#include "src/model/ValueType.h"

namespace Conflux::Model
{
std::string valueTypeToString(ValueType type)
{
    switch (type)
    {
    case ValueType::Simple: return "Simple";
    case ValueType::Chronological: return "Chronological";
    }
    return "Unknown";
}
} // namespace Conflux::Model
