#include "host/entitymodel/InstallationSettings.h"

namespace EntityModel
{
bool ConfluxAccessRights::allows(int linkerType) const
{
    return linkerType >= 0 && linkerType < 32 && (mask_ >> linkerType & 1u) != 0;
}

void ConfluxAccessRights::setAllowed(int linkerType, bool allowed)
{
    if (linkerType < 0 || linkerType >= 32)
        return;
    if (allowed)
        mask_ |= 1u << linkerType;
    else
        mask_ &= ~(1u << linkerType);
}

InstallationSettings& InstallationSettings::current()
{
    static InstallationSettings settings;
    return settings;
}
} // namespace EntityModel
