#pragma once
#include "host/solver/LinkerType.h"

#include <concepts>
#include <cstdint>
#include <utility>

namespace Conflux
{
/// A value naming the linker kinds an installation may use.
template <class Rights>
concept ConfluxAccessRightsValue =
    std::convertible_to<decltype(std::declval<const Rights&>().allows(1)), bool>;

/// Checks linker kinds against the installation's exchange access rights.
class LinkerValidator
{
public:
    /// `rights` is the installation's access-rights value (`confluxAccessRights()` of the
    /// installation settings): anything that answers `allows(int linkerType)`. The answers for
    /// the linker kinds are taken now; the validator keeps no reference to `rights`.
    template <ConfluxAccessRightsValue Rights> explicit LinkerValidator(const Rights& rights)
    {
        for (int type = firstKind; type <= lastKind; ++type)
            if (rights.allows(type))
                m_allowed |= 1U << type;
    }

    /// True when the installation may use linkers of `type`. A refused kind gives false when
    /// `quiet` is true and throws std::runtime_error naming the kind otherwise. A value that
    /// names no linker kind (0 or unknown) is not the validator's to refuse: it passes, and the
    /// caller reports it in its own terms.
    bool validate(LinkerType type, bool quiet) const;

private:
    static constexpr int firstKind = static_cast<int>(LinkerType::TrivialEventHandler);
    static constexpr int lastKind = static_cast<int>(LinkerType::AIPythonEventHandler);

    std::uint32_t m_allowed = 0;
};
} // namespace Conflux
