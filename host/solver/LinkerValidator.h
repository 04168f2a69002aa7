#pragma once
#include "host/solver/ConfluxAccessRights.h"

namespace Conflux
{
/// Checks linker kinds against the installation's exchange access rights.
class LinkerValidator
{
public:
    explicit LinkerValidator(const ConfluxAccessRights& rights) : m_rights(rights) {}

    /// True when the installation may use linkers of `type`. A refused kind gives false when
    /// `quiet` is true and throws std::runtime_error naming the kind otherwise. A value that
    /// names no linker kind (0 or unknown) is not the validator's to refuse: it passes, and the
    /// caller reports it in its own terms.
    bool validate(LinkerType type, bool quiet) const;

private:
    ConfluxAccessRights m_rights;
};
} // namespace Conflux
