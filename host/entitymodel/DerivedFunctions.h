#pragma once
#include <functional>
#include <string>

namespace EntityModel
{
class Attribute;

/// The named functions that compute derived attributes. A derived attribute names its function in
/// its definition; reading it while stale calls the function, which sets the attribute's value.
class DerivedFunctions
{
public:
    using Function = std::function<void(Attribute&)>;

    /// Registers (or replaces) a function under a name.
    static void registerFunction(const std::string& name, Function function);
    static void unregisterFunction(const std::string& name);
    /// The function of a name, or null.
    static const Function* find(const std::string& name);
};

/// Registers a derived function for its lifetime.
class DerivedFunctionRegistration
{
public:
    DerivedFunctionRegistration(std::string name, DerivedFunctions::Function function);
    ~DerivedFunctionRegistration();

private:
    std::string name_;
};

/// Marks a derived attribute (with recursive: every derived attribute below it too) for
/// recomputation on its next read.
void invalidateDerivedAttribute(Attribute* attribute, bool recursive);
} // namespace EntityModel
