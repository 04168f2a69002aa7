// The FMI 3.0 co-simulation entry points: each checks its instance pointer, forwards to Instance
// and turns any exception into fmi3Error with a logged message, so nothing crosses the C boundary.
#include "fmu/Instance.h"
#include "fmu/fmi/Fmi3Declarations.h"

#include <exception>
#include <new>
#include <string>

using ConfluxFmu::Access;
using ConfluxFmu::Instance;
using ConfluxFmu::Status;

namespace
{
fmi3Status toFmi3(Status status)
{
    switch (status)
    {
    case Status::OK:
        return fmi3OK;
    case Status::Warning:
        return fmi3Warning;
    case Status::Error:
        return fmi3Error;
    }
    return fmi3Error;
}

template <typename Body> fmi3Status guarded(fmi3Instance instance, const char* function, Body&& body)
{
    if (!instance)
        return fmi3Error;
    auto& self = *static_cast<Instance*>(instance);
    try
    {
        return toFmi3(body(self));
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
    return fmi3Error;
}

fmi3Status unsupported(fmi3Instance instance, const char* function)
{
    return guarded(instance, function, [function](Instance& self) { return self.unsupported(function); });
}

// Get and Set of a type this FMU has no variables of: nothing to do for no references.
fmi3Status noVariablesOfType(fmi3Instance instance, const char* function, const char* type,
                             const fmi3ValueReference references[], size_t count)
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

void logWithoutInstance(fmi3LogMessageCallback logMessage, fmi3InstanceEnvironment environment,
                        const std::string& message)
{
    if (logMessage)
        logMessage(environment, fmi3Error, "logStatusError", message.c_str());
}
} // namespace

const char* fmi3GetVersion(void) { return "3.0"; }

fmi3Status fmi3SetDebugLogging(fmi3Instance instance, fmi3Boolean loggingOn, size_t nCategories,
                               const fmi3String categories[])
{
    const char* function = __func__;
    return guarded(instance, function, [&](Instance& self) {
        return self.setDebugLogging(function, loggingOn, nCategories, categories);
    });
}

fmi3Instance fmi3InstantiateModelExchange(fmi3String, fmi3String, fmi3String, fmi3Boolean, fmi3Boolean,
                                          fmi3InstanceEnvironment instanceEnvironment,
                                          fmi3LogMessageCallback logMessage)
{
    logWithoutInstance(logMessage, instanceEnvironment,
                       "fmi3InstantiateModelExchange: not supported: this FMU offers co-simulation only");
    return nullptr;
}

fmi3Instance fmi3InstantiateCoSimulation(fmi3String instanceName, fmi3String instantiationToken,
                                         fmi3String resourcePath, fmi3Boolean, fmi3Boolean loggingOn,
                                         fmi3Boolean eventModeUsed, fmi3Boolean, const fmi3ValueReference[],
                                         size_t, fmi3InstanceEnvironment instanceEnvironment,
                                         fmi3LogMessageCallback logMessage, fmi3IntermediateUpdateCallback)
{
    const std::string name = instanceName ? instanceName : "";
    try
    {
        if (!instantiationToken)
            throw std::runtime_error("no instantiation token was given");
        if (!resourcePath)
            throw std::runtime_error("no resource path was given");
        if (eventModeUsed)
            throw std::runtime_error("event mode was asked for, but this FMU has no event mode");
        Instance::Logger logger;
        if (logMessage)
            logger = [logMessage, instanceEnvironment](Status status, const char* category, const std::string& text) {
                logMessage(instanceEnvironment, toFmi3(status), category, text.c_str());
            };
        auto instance = std::make_unique<Instance>(name, instantiationToken, resourcePath, logger, loggingOn);
        return instance.release();
    }
    catch (const std::exception& e)
    {
        logWithoutInstance(logMessage, instanceEnvironment,
                           "fmi3InstantiateCoSimulation: instance \"" + name + "\": " + e.what());
    }
    catch (...)
    {
    }
    return nullptr;
}

fmi3Instance fmi3InstantiateScheduledExecution(fmi3String, fmi3String, fmi3String, fmi3Boolean, fmi3Boolean,
                                               fmi3InstanceEnvironment instanceEnvironment,
                                               fmi3LogMessageCallback logMessage, fmi3ClockUpdateCallback,
                                               fmi3LockPreemptionCallback, fmi3UnlockPreemptionCallback)
{
    logWithoutInstance(logMessage, instanceEnvironment,
                       "fmi3InstantiateScheduledExecution: not supported: this FMU offers co-simulation only");
    return nullptr;
}

void fmi3FreeInstance(fmi3Instance instance) { delete static_cast<Instance*>(instance); }

fmi3Status fmi3EnterInitializationMode(fmi3Instance instance, fmi3Boolean, fmi3Float64, fmi3Float64 startTime,
                                       fmi3Boolean, fmi3Float64)
{
    const char* function = __func__;
    return guarded(instance, function,
                   [&](Instance& self) { return self.enterInitializationMode(function, startTime, true); });
}

fmi3Status fmi3ExitInitializationMode(fmi3Instance instance)
{
    const char* function = __func__;
    return guarded(instance, function, [&](Instance& self) { return self.exitInitializationMode(function); });
}

fmi3Status fmi3EnterEventMode(fmi3Instance instance) { return unsupported(instance, __func__); }

fmi3Status fmi3Terminate(fmi3Instance instance)
{
    const char* function = __func__;
    return guarded(instance, function, [&](Instance& self) { return self.terminate(function); });
}

fmi3Status fmi3Reset(fmi3Instance instance)
{
    const char* function = __func__;
    return guarded(instance, function, [&](Instance& self) { return self.reset(function); });
}

fmi3Status fmi3GetFloat64(fmi3Instance instance, const fmi3ValueReference valueReferences[], size_t nValueReferences,
                          fmi3Float64 values[], size_t nValues)
{
    const char* function = __func__;
    return guarded(instance, function, [&](Instance& self) {
        return self.getReal(function, Access::Float64, valueReferences, nValueReferences, values, nullptr, nValues);
    });
}

fmi3Status fmi3SetFloat64(fmi3Instance instance, const fmi3ValueReference valueReferences[], size_t nValueReferences,
                          const fmi3Float64 values[], size_t nValues)
{
    const char* function = __func__;
    return guarded(instance, function, [&](Instance& self) {
        return self.setReal(function, Access::Float64, valueReferences, nValueReferences, values, nullptr, nValues);
    });
}

fmi3Status fmi3GetFloat32(fmi3Instance instance, const fmi3ValueReference valueReferences[], size_t nValueReferences,
                          fmi3Float32 values[], size_t nValues)
{
    const char* function = __func__;
    return guarded(instance, function, [&](Instance& self) {
        return self.getReal(function, Access::Float32, valueReferences, nValueReferences, nullptr, values, nValues);
    });
}

fmi3Status fmi3SetFloat32(fmi3Instance instance, const fmi3ValueReference valueReferences[], size_t nValueReferences,
                          const fmi3Float32 values[], size_t nValues)
{
    const char* function = __func__;
    return guarded(instance, function, [&](Instance& self) {
        return self.setReal(function, Access::Float32, valueReferences, nValueReferences, nullptr, values, nValues);
    });
}

#define CONFLUX_FMI3_NO_VARIABLES(Name, Type)                                                                     \
    fmi3Status fmi3Get##Name(fmi3Instance instance, const fmi3ValueReference valueReferences[],                   \
                             size_t nValueReferences, Type[], size_t)                                             \
    {                                                                                                             \
        return noVariablesOfType(instance, __func__, #Name, valueReferences, nValueReferences);                   \
    }                                                                                                             \
    fmi3Status fmi3Set##Name(fmi3Instance instance, const fmi3ValueReference valueReferences[],                   \
                             size_t nValueReferences, const Type[], size_t)                                       \
    {                                                                                                             \
        return noVariablesOfType(instance, __func__, #Name, valueReferences, nValueReferences);                   \
    }
CONFLUX_FMI3_NO_VARIABLES(Int8, fmi3Int8)
CONFLUX_FMI3_NO_VARIABLES(UInt8, fmi3UInt8)
CONFLUX_FMI3_NO_VARIABLES(Int16, fmi3Int16)
CONFLUX_FMI3_NO_VARIABLES(UInt16, fmi3UInt16)
CONFLUX_FMI3_NO_VARIABLES(Int32, fmi3Int32)
CONFLUX_FMI3_NO_VARIABLES(UInt32, fmi3UInt32)
CONFLUX_FMI3_NO_VARIABLES(Int64, fmi3Int64)
CONFLUX_FMI3_NO_VARIABLES(UInt64, fmi3UInt64)
CONFLUX_FMI3_NO_VARIABLES(Boolean, fmi3Boolean)
CONFLUX_FMI3_NO_VARIABLES(String, fmi3String)
#undef CONFLUX_FMI3_NO_VARIABLES

fmi3Status fmi3GetBinary(fmi3Instance instance, const fmi3ValueReference valueReferences[], size_t nValueReferences,
                         size_t[], fmi3Binary[], size_t)
{
    return noVariablesOfType(instance, __func__, "Binary", valueReferences, nValueReferences);
}

fmi3Status fmi3SetBinary(fmi3Instance instance, const fmi3ValueReference valueReferences[], size_t nValueReferences,
                         const size_t[], const fmi3Binary[], size_t)
{
    return noVariablesOfType(instance, __func__, "Binary", valueReferences, nValueReferences);
}

fmi3Status fmi3GetClock(fmi3Instance instance, const fmi3ValueReference valueReferences[], size_t nValueReferences,
                        fmi3Clock[])
{
    return noVariablesOfType(instance, __func__, "Clock", valueReferences, nValueReferences);
}

fmi3Status fmi3SetClock(fmi3Instance instance, const fmi3ValueReference valueReferences[], size_t nValueReferences,
                        const fmi3Clock[])
{
    return noVariablesOfType(instance, __func__, "Clock", valueReferences, nValueReferences);
}

fmi3Status fmi3GetNumberOfVariableDependencies(fmi3Instance instance, fmi3ValueReference, size_t*)
{
    return unsupported(instance, __func__);
}

fmi3Status fmi3GetVariableDependencies(fmi3Instance instance, fmi3ValueReference, size_t[], fmi3ValueReference[],
                                       size_t[], fmi3DependencyKind[], size_t)
{
    return unsupported(instance, __func__);
}

fmi3Status fmi3GetFMUState(fmi3Instance instance, fmi3FMUState*) { return unsupported(instance, __func__); }
fmi3Status fmi3SetFMUState(fmi3Instance instance, fmi3FMUState) { return unsupported(instance, __func__); }
fmi3Status fmi3FreeFMUState(fmi3Instance instance, fmi3FMUState*) { return unsupported(instance, __func__); }
fmi3Status fmi3SerializedFMUStateSize(fmi3Instance instance, fmi3FMUState, size_t*)
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3SerializeFMUState(fmi3Instance instance, fmi3FMUState, fmi3Byte[], size_t)
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3DeserializeFMUState(fmi3Instance instance, const fmi3Byte[], size_t, fmi3FMUState*)
{
    return unsupported(instance, __func__);
}

fmi3Status fmi3GetDirectionalDerivative(fmi3Instance instance, const fmi3ValueReference[], size_t,
                                        const fmi3ValueReference[], size_t, const fmi3Float64[], size_t,
                                        fmi3Float64[], size_t)
{
    return unsupported(instance, __func__);
}

fmi3Status fmi3GetAdjointDerivative(fmi3Instance instance, const fmi3ValueReference[], size_t,
                                    const fmi3ValueReference[], size_t, const fmi3Float64[], size_t, fmi3Float64[],
                                    size_t)
{
    return unsupported(instance, __func__);
}

fmi3Status fmi3EnterConfigurationMode(fmi3Instance instance) { return unsupported(instance, __func__); }
fmi3Status fmi3ExitConfigurationMode(fmi3Instance instance) { return unsupported(instance, __func__); }

fmi3Status fmi3GetIntervalDecimal(fmi3Instance instance, const fmi3ValueReference[], size_t, fmi3Float64[],
                                  fmi3IntervalQualifier[])
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3GetIntervalFraction(fmi3Instance instance, const fmi3ValueReference[], size_t, fmi3UInt64[],
                                   fmi3UInt64[], fmi3IntervalQualifier[])
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3GetShiftDecimal(fmi3Instance instance, const fmi3ValueReference[], size_t, fmi3Float64[])
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3GetShiftFraction(fmi3Instance instance, const fmi3ValueReference[], size_t, fmi3UInt64[],
                                fmi3UInt64[])
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3SetIntervalDecimal(fmi3Instance instance, const fmi3ValueReference[], size_t, const fmi3Float64[])
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3SetIntervalFraction(fmi3Instance instance, const fmi3ValueReference[], size_t, const fmi3UInt64[],
                                   const fmi3UInt64[])
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3SetShiftDecimal(fmi3Instance instance, const fmi3ValueReference[], size_t, const fmi3Float64[])
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3SetShiftFraction(fmi3Instance instance, const fmi3ValueReference[], size_t, const fmi3UInt64[],
                                const fmi3UInt64[])
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3EvaluateDiscreteStates(fmi3Instance instance) { return unsupported(instance, __func__); }
fmi3Status fmi3UpdateDiscreteStates(fmi3Instance instance, fmi3Boolean*, fmi3Boolean*, fmi3Boolean*, fmi3Boolean*,
                                    fmi3Boolean*, fmi3Float64*)
{
    return unsupported(instance, __func__);
}

fmi3Status fmi3EnterContinuousTimeMode(fmi3Instance instance) { return unsupported(instance, __func__); }
fmi3Status fmi3CompletedIntegratorStep(fmi3Instance instance, fmi3Boolean, fmi3Boolean*, fmi3Boolean*)
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3SetTime(fmi3Instance instance, fmi3Float64) { return unsupported(instance, __func__); }
fmi3Status fmi3SetContinuousStates(fmi3Instance instance, const fmi3Float64[], size_t)
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3GetContinuousStateDerivatives(fmi3Instance instance, fmi3Float64[], size_t)
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3GetEventIndicators(fmi3Instance instance, fmi3Float64[], size_t)
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3GetContinuousStates(fmi3Instance instance, fmi3Float64[], size_t)
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3GetNominalsOfContinuousStates(fmi3Instance instance, fmi3Float64[], size_t)
{
    return unsupported(instance, __func__);
}
fmi3Status fmi3GetNumberOfEventIndicators(fmi3Instance instance, size_t*) { return unsupported(instance, __func__); }
fmi3Status fmi3GetNumberOfContinuousStates(fmi3Instance instance, size_t*) { return unsupported(instance, __func__); }

fmi3Status fmi3EnterStepMode(fmi3Instance instance) { return unsupported(instance, __func__); }

fmi3Status fmi3GetOutputDerivatives(fmi3Instance instance, const fmi3ValueReference[], size_t, const fmi3Int32[],
                                    fmi3Float64[], size_t)
{
    return unsupported(instance, __func__);
}

fmi3Status fmi3DoStep(fmi3Instance instance, fmi3Float64 currentCommunicationPoint, fmi3Float64 communicationStepSize,
                      fmi3Boolean, fmi3Boolean* eventHandlingNeeded, fmi3Boolean* terminateSimulation,
                      fmi3Boolean* earlyReturn, fmi3Float64* lastSuccessfulTime)
{
    const char* function = __func__;
    return guarded(instance, function, [&](Instance& self) {
        const Status status = self.doStep(function, currentCommunicationPoint, communicationStepSize);
        if (eventHandlingNeeded)
            *eventHandlingNeeded = false;
        if (terminateSimulation)
            *terminateSimulation = false;
        if (earlyReturn)
            *earlyReturn = false;
        if (lastSuccessfulTime)
            *lastSuccessfulTime = self.time();
        return status;
    });
}

fmi3Status fmi3ActivateModelPartition(fmi3Instance instance, fmi3ValueReference, fmi3Float64)
{
    return unsupported(instance, __func__);
}
