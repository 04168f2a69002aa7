#include "host/solver/LinkerValidator.h"

#include <stdexcept>
#include <string>

namespace Conflux
{
bool LinkerValidator::validate(LinkerType type, bool quiet) const
{
    const int kind = static_cast<int>(type);
    if (kind < firstKind || kind > lastKind || (m_allowed >> kind & 1U) != 0)
        return true;
    if (quiet)
        return false;
    throw std::runtime_error("Conflux linker " + linkerTypeToString(type) + " (type " + std::to_string(kind) +
                             ") is not allowed by this installation's access rights");
}
} // namespace Conflux
