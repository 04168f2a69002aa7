#pragma once
// Conflux::ConfluxAccessRights: which exchange linker kinds an installation may use.
#include "host/solver/LinkerType.h"

#include <cstdint>
#include <initializer_list>

namespace Conflux
{
/// A plain value naming the linker kinds an installation is licensed for. A default-constructed
/// value allows every kind, as an unrestricted installation does; `LinkerValidator` checks
/// linker kinds against it.
class ConfluxAccessRights
{
public:
    /// Every linker kind allowed.
    ConfluxAccessRights() = default;
    /// Exactly the kinds listed allowed (an empty list allows none).
    ConfluxAccessRights(std::initializer_list<LinkerType> allowed) : m_allowed(0)
    {
        for (LinkerType type : allowed)
            allow(type, true);
    }

    /// No linker kind allowed.
    static ConfluxAccessRights none()
    {
        ConfluxAccessRights rights;
        rights.m_allowed = 0;
        return rights;
    }

    bool allows(LinkerType type) const
    {
        const int bit = static_cast<int>(type);
        return bit >= 0 && bit < 32 && (m_allowed >> bit & 1U) != 0;
    }

    /// Allows or forbids one kind; values outside the list are ignored.
    void allow(LinkerType type, bool allowed)
    {
        const int bit = static_cast<int>(type);
        if (bit < 0 || bit >= 32)
            return;
        if (allowed)
            m_allowed |= 1U << bit;
        else
            m_allowed &= ~(1U << bit);
    }

    bool operator==(const ConfluxAccessRights&) const = default;

private:
    std::uint32_t m_allowed = ~0U;
};
} // namespace Conflux
