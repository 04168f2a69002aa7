#include "host/entitymodel/DerivedFunctions.h"

#include "host/entitymodel/Attribute.h"

#include <map>
#include <mutex>

namespace EntityModel
{
namespace
{
struct Registry
{
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<DerivedFunctions::Function>> functions;
};

Registry& registry()
{
    static Registry r;
    return r;
}
} // namespace

void DerivedFunctions::registerFunction(const std::string& name, Function function)
{
    std::lock_guard lock(registry().mutex);
    registry().functions[name] = std::make_shared<Function>(std::move(function));
}

void DerivedFunctions::unregisterFunction(const std::string& name)
{
    std::lock_guard lock(registry().mutex);
    registry().functions.erase(name);
}

const DerivedFunctions::Function* DerivedFunctions::find(const std::string& name)
{
    if (name.empty())
        return nullptr;
    std::lock_guard lock(registry().mutex);
    auto it = registry().functions.find(name);
    return it == registry().functions.end() ? nullptr : it->second.get();
}

DerivedFunctionRegistration::DerivedFunctionRegistration(std::string name,
                                                         DerivedFunctions::Function function)
    : name_(std::move(name))
{
    DerivedFunctions::registerFunction(name_, std::move(function));
}

DerivedFunctionRegistration::~DerivedFunctionRegistration()
{
    DerivedFunctions::unregisterFunction(name_);
}

void invalidateDerivedAttribute(Attribute* attribute, bool recursive)
{
    if (attribute)
        attribute->invalidateDerived(recursive);
}
} // namespace EntityModel
