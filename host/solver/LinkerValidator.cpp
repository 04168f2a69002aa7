#include "host/solver/LinkerValidator.h"

#include <stdexcept>

namespace Conflux
{
bool LinkerValidator::validate(LinkerType type, bool quiet) const
{
    const auto known = linkerTypeFromInt(static_cast<int>(type));
    if (!known || *known == LinkerType::None || m_rights.allows(type))
        return true;
    if (quiet)
        return false;
    throw std::runtime_error("Conflux linker " + linkerTypeToString(type) + " (type " +
                             std::to_string(static_cast<int>(type)) +
                             ") is not allowed by this installation's access rights");
}
} // namespace Conflux
