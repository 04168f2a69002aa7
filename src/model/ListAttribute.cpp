#include "src/model/ListAttribute.h"

namespace Conflux::Model
{
ListAttribute::ListAttribute(const std::string& name, const std::string& linkedType, AccessType access, bool flag,
                             CompositeAttribute* parent)
    : ListAttributeEx(name, linkedType, access, flag, parent)
{
}

ListAttribute::~ListAttribute() = default;
} // namespace Conflux::Model
