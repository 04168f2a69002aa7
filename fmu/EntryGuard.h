#pragma once
// The guard every FMI entry point runs under, whichever FMI version the importer speaks: a null
// instance is refused, a body's Status becomes the version's status, and no exception crosses the
// C boundary (it becomes an Error status with a logged message instead).
#include "fmu/Instance.h"

#include <exception>
#include <memory>
#include <string>
#include <utility>

namespace ConfluxFmu
{
/// The life-cycle wrappers of one FMI version, over its status enumeration and the three values
/// of it the runtime answers. Each version's functions file keeps only its signatures.
template <typename FmiStatus, FmiStatus FmiOK, FmiStatus FmiWarning, FmiStatus FmiError> class EntryGuard
{
public:
    static FmiStatus toFmi(Status status)
    {
        switch (status)
        {
        case Status::OK:
            return FmiOK;
        case Status::Warning:
            return FmiWarning;
        case Status::Error:
            return FmiError;
        }
        return FmiError;
    }

    /// Runs `body(instance)`; a null instance answers Error without a message, an exception
    /// answers Error with the exception's text logged as an error of `function`. Always inlined, so
    /// that Set, DoStep and Get cost no more than a direct call of the Instance member.
    template <typename Body>
    [[gnu::always_inline]] static FmiStatus guarded(void* instance, const char* function, Body&& body)
    {
        if (!instance)
            return FmiError;
        auto& self = *static_cast<Instance*>(instance);
        try
        {
            return toFmi(body(self));
        }
        catch (const std::exception& e)
        {
            try
            {
                self.fail(function, e.what());
            }
            catch (...)
            {
            }
        }
        catch (...)
        {
        }
        return FmiError;
    }

    /// Calls the Instance member `Member` with the function's name, then `arguments`, guarded.
    template <auto Member, typename... Arguments>
    static FmiStatus forward(void* instance, const char* function, Arguments&&... arguments)
    {
        return guarded(instance, function, [&](Instance& self) {
            return (self.*Member)(function, std::forward<Arguments>(arguments)...);
        });
    }

    /// Refuses a function this FMU does not offer, with a logged message. The refusals are rare: one
    /// out-of-line copy serves all the entry points that make them.
    [[gnu::noinline]] static FmiStatus unsupported(void* instance, const char* function)
    {
        return guarded(instance, function, [function](Instance& self) { return self.unsupported(function); });
    }

    /// Get and Set of a type this FMU has no variables of: nothing to do for no references.
    template <typename Reference>
    [[gnu::noinline]] static FmiStatus noVariablesOfType(void* instance, const char* function,
                                                         const char* type, const Reference references[],
                                                         size_t count)
    {
        return guarded(instance, function, [&](Instance& self) {
            self.trace(function);
            if (count == 0)
                return Status::OK;
            const std::string reference = references ? std::to_string(references[0]) : std::string("(null)");
            return self.fail(function, std::string("this FMU has no ") + type + " variables (value reference " +
                                           reference + " is not one)");
        });
    }

    /// The instance `create()` makes, released to the importer; if it throws, `report` is given
    /// "FUNCTION: instance "NAME": WHY" and the importer gets null.
    template <typename Create, typename Report>
    static void* instantiate(const char* function, const std::string& name, Create&& create, Report&& report)
    {
        try
        {
            std::unique_ptr<Instance> instance = create();
            return instance.release();
        }
        catch (const std::exception& e)
        {
            try
            {
                report(std::string(function) + ": instance \"" + name + "\": " + e.what());
            }
            catch (...)
            {
            }
        }
        catch (...)
        {
        }
        return nullptr;
    }

    static void freeInstance(void* instance) { delete static_cast<Instance*>(instance); }
};
} // namespace ConfluxFmu
