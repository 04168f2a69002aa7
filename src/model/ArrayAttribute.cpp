#include "src/model/ArrayAttribute.h"

namespace Conflux::Model
{
ArrayAttribute::ArrayAttribute(const std::string& name, const std::string& linkedType, AccessType access, bool flag,
                             CompositeAttribute* parent)
    : ArrayAttributeEx(name, linkedType, access, flag, parent)
{
}

ArrayAttribute::~ArrayAttribute() = default;
} // namespace Conflux::Model
