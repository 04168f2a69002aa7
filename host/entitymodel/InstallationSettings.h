#pragma once
#include <atomic>
#include <cstdint>

namespace EntityModel
{
/// Which exchange linker types (1 trivial .. 6 AI with Python) the installation allows.
class ConfluxAccessRights
{
public:
    static ConfluxAccessRights all() { return ConfluxAccessRights(~std::uint32_t(0)); }
    static ConfluxAccessRights none() { return ConfluxAccessRights(0); }

    bool allows(int linkerType) const;
    void setAllowed(int linkerType, bool allowed);
    bool operator==(const ConfluxAccessRights&) const = default;

private:
    explicit ConfluxAccessRights(std::uint32_t mask) : mask_(mask) {}
    std::uint32_t mask_;
};

/// Settings of the installation (everything allowed unless changed, e.g. by tests); read and set
/// from any thread.
class InstallationSettings
{
public:
    static InstallationSettings& current();

    ConfluxAccessRights confluxAccessRights() const { return rights_.load(); }
    void setConfluxAccessRights(ConfluxAccessRights rights) { rights_.store(rights); }

private:
    std::atomic<ConfluxAccessRights> rights_{ConfluxAccessRights::all()};
};
} // namespace EntityModel
