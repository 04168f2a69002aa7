#include "src/model/LinkAttribute.h"

namespace Conflux::Model
{
LinkAttribute::LinkAttribute(const std::string& name, const std::string& linkedType, AccessType access, bool flag,
                             CompositeAttribute* parent)
    : LinkAttributeEx(name, linkedType, access, flag, parent)
{
}

LinkAttribute::~LinkAttribute() = default;
} // namespace Conflux::Model
