// The FMI 3.0 co-simulation entry points: each forwards to Instance under EntryGuard, which checks
// the instance pointer and turns any exception into fmi3Error with a logged message.
#include "fmu/EntryGuard.h"
#include "fmu/fmi/Fmi3Declarations.h"

#include <memory>
#include <stdexcept>
#include <string>

using ConfluxFmu::Access;
using ConfluxFmu::Instance;
using ConfluxFmu::Status;

namespace
{
using Entry = ConfluxFmu::EntryGuard<fmi3Status, fmi3OK, fmi3Warning, fmi3Error>;

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
    return Entry::forward<&Instance::setDebugLogging>(instance, __func__, loggingOn, nCategories, categories);
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
    const auto create = [&] {
        if (!instantiationToken)
            throw std::runtime_error("no instantiation token was given");
        if (!resourcePath)
            throw std::runtime_error("no resource path was given");
        if (eventModeUsed)
            throw std::runtime_error("event mode was asked for, but this FMU has no event mode");
        Instance::Logger logger;
        if (logMessage)
            logger = [logMessage, instanceEnvironment](Status status, const char* category, const std::string& text) {
                logMessage(instanceEnvironment, Entry::toFmi(status), category, text.c_str());
            };
        return std::make_unique<Instance>(name, instantiationToken, resourcePath, logger, loggingOn);
    };
    return Entry::instantiate(__func__, name, create, [&](const std::string& message) {
        logWithoutInstance(logMessage, instanceEnvironment, message);
    });
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

void fmi3FreeInstance(fmi3Instance instance) { Entry::freeInstance(instance); }

fmi3Status fmi3EnterInitializationMode(fmi3Instance instance, fmi3Boolean, fmi3Float64, fmi3Float64 startTime,
                                       fmi3Boolean, fmi3Float64)
{
    return Entry::forward<&Instance::enterInitializationMode>(instance, __func__, startTime, true);
}

fmi3Status fmi3ExitInitializationMode(fmi3Instance instance)
{
    return Entry::forward<&Instance::exitInitializationMode>(instance, __func__);
}

fmi3Status fmi3EnterEventMode(fmi3Instance instance) { return Entry::unsupported(instance, __func__); }

fmi3Status fmi3Terminate(fmi3Instance instance) { return Entry::forward<&Instance::terminate>(instance, __func__); }

fmi3Status fmi3Reset(fmi3Instance instance) { return Entry::forward<&Instance::reset>(instance, __func__); }

fmi3Status fmi3GetFloat64(fmi3Instance instance, const fmi3ValueReference valueReferences[], size_t nValueReferences,
                          fmi3Float64 values[], size_t nValues)
{
    return Entry::forward<&Instance::getReal>(instance, __func__, Access::Float64, valueReferences,
                                              nValueReferences, values, nullptr, nValues);
}

fmi3Status fmi3SetFloat64(fmi3Instance instance, const fmi3ValueReference valueReferences[], size_t nValueReferences,
                          const fmi3Float64 values[], size_t nValues)
{
    return Entry::forward<&Instance::setReal>(instance, __func__, Access::Float64, valueReferences,
                                              nValueReferences, values, nullptr, nValues);
}

fmi3Status fmi3GetFloat32(fmi3Instance instance, const fmi3ValueReference valueReferences[], size_t nValueReferences,
                          fmi3Float32 values[], size_t nValues)
{
    return Entry::forward<&Instance::getReal>(instance, __func__, Access::Float32, valueReferences,
                                              nValueReferences, nullptr, values, nValues);
}

fmi3Status fmi3SetFloat32(fmi3Instance instance, const fmi3ValueReference valueReferences[], size_t nValueReferences,
                          const fmi3Float32 values[], size_t nValues)
{
    return Entry::forward<&Instance::setReal>(instance, __func__, Access::Float32, valueReferences,
                                              nValueReferences, nullptr, values, nValues);
}

#define CONFLUX_FMI3_NO_VARIABLES(Name, Type)                                                                     \
    fmi3Status fmi3Get##Name(fmi3Instance instance, const fmi3ValueReference valueReferences[],                   \
                             size_t nValueReferences, Type[], size_t)                                             \
    {                                                                                                             \
        return Entry::noVariablesOfType(instance, __func__, #Name, valueReferences, nValueReferences);            \
    }                                                                                                             \
    fmi3Status fmi3Set##Name(fmi3Instance instance, const fmi3ValueReference valueReferences[],                   \
                             size_t nValueReferences, const Type[], size_t)                                       \
    {                                                                                                             \
        return Entry::noVariablesOfType(instance, __func__, #Name, valueReferences, nValueReferences);            \
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
    return Entry::noVariablesOfType(instance, __func__, "Binary", valueReferences, nValueReferences);
}

fmi3Status fmi3SetBinary(fmi3Instance instance, const fmi3ValueReference valueReferences[], size_t nValueReferences,
                         const size_t[], const fmi3Binary[], size_t)
{
    return Entry::noVariablesOfType(instance, __func__, "Binary", valueReferences, nValueReferences);
}

fmi3Status fmi3GetClock(fmi3Instance instance, const fmi3ValueReference valueReferences[], size_t nValueReferences,
                        fmi3Clock[])
{
    return Entry::noVariablesOfType(instance, __func__, "Clock", valueReferences, nValueReferences);
}

fmi3Status fmi3SetClock(fmi3Instance instance, const fmi3ValueReference valueReferences[], size_t nValueReferences,
                        const fmi3Clock[])
{
    return Entry::noVariablesOfType(instance, __func__, "Clock", valueReferences, nValueReferences);
}

fmi3Status fmi3GetNumberOfVariableDependencies(fmi3Instance instance, fmi3ValueReference, size_t*)
{
    return Entry::unsupported(instance, __func__);
}

fmi3Status fmi3GetVariableDependencies(fmi3Instance instance, fmi3ValueReference, size_t[], fmi3ValueReference[],
                                       size_t[], fmi3DependencyKind[], size_t)
{
    return Entry::unsupported(instance, __func__);
}

fmi3Status fmi3GetFMUState(fmi3Instance instance, fmi3FMUState*) { return Entry::unsupported(instance, __func__); }
fmi3Status fmi3SetFMUState(fmi3Instance instance, fmi3FMUState) { return Entry::unsupported(instance, __func__); }
fmi3Status fmi3FreeFMUState(fmi3Instance instance, fmi3FMUState*) { return Entry::unsupported(instance, __func__); }
fmi3Status fmi3SerializedFMUStateSize(fmi3Instance instance, fmi3FMUState, size_t*)
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3SerializeFMUState(fmi3Instance instance, fmi3FMUState, fmi3Byte[], size_t)
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3DeserializeFMUState(fmi3Instance instance, const fmi3Byte[], size_t, fmi3FMUState*)
{
    return Entry::unsupported(instance, __func__);
}

fmi3Status fmi3GetDirectionalDerivative(fmi3Instance instance, const fmi3ValueReference[], size_t,
                                        const fmi3ValueReference[], size_t, const fmi3Float64[], size_t,
                                        fmi3Float64[], size_t)
{
    return Entry::unsupported(instance, __func__);
}

fmi3Status fmi3GetAdjointDerivative(fmi3Instance instance, const fmi3ValueReference[], size_t,
                                    const fmi3ValueReference[], size_t, const fmi3Float64[], size_t, fmi3Float64[],
                                    size_t)
{
    return Entry::unsupported(instance, __func__);
}

fmi3Status fmi3EnterConfigurationMode(fmi3Instance instance) { return Entry::unsupported(instance, __func__); }
fmi3Status fmi3ExitConfigurationMode(fmi3Instance instance) { return Entry::unsupported(instance, __func__); }

fmi3Status fmi3GetIntervalDecimal(fmi3Instance instance, const fmi3ValueReference[], size_t, fmi3Float64[],
                                  fmi3IntervalQualifier[])
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3GetIntervalFraction(fmi3Instance instance, const fmi3ValueReference[], size_t, fmi3UInt64[],
                                   fmi3UInt64[], fmi3IntervalQualifier[])
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3GetShiftDecimal(fmi3Instance instance, const fmi3ValueReference[], size_t, fmi3Float64[])
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3GetShiftFraction(fmi3Instance instance, const fmi3ValueReference[], size_t, fmi3UInt64[],
                                fmi3UInt64[])
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3SetIntervalDecimal(fmi3Instance instance, const fmi3ValueReference[], size_t, const fmi3Float64[])
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3SetIntervalFraction(fmi3Instance instance, const fmi3ValueReference[], size_t, const fmi3UInt64[],
                                   const fmi3UInt64[])
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3SetShiftDecimal(fmi3Instance instance, const fmi3ValueReference[], size_t, const fmi3Float64[])
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3SetShiftFraction(fmi3Instance instance, const fmi3ValueReference[], size_t, const fmi3UInt64[],
                                const fmi3UInt64[])
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3EvaluateDiscreteStates(fmi3Instance instance) { return Entry::unsupported(instance, __func__); }
fmi3Status fmi3UpdateDiscreteStates(fmi3Instance instance, fmi3Boolean*, fmi3Boolean*, fmi3Boolean*, fmi3Boolean*,
                                    fmi3Boolean*, fmi3Float64*)
{
    return Entry::unsupported(instance, __func__);
}

fmi3Status fmi3EnterContinuousTimeMode(fmi3Instance instance) { return Entry::unsupported(instance, __func__); }
fmi3Status fmi3CompletedIntegratorStep(fmi3Instance instance, fmi3Boolean, fmi3Boolean*, fmi3Boolean*)
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3SetTime(fmi3Instance instance, fmi3Float64) { return Entry::unsupported(instance, __func__); }
fmi3Status fmi3SetContinuousStates(fmi3Instance instance, const fmi3Float64[], size_t)
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3GetContinuousStateDerivatives(fmi3Instance instance, fmi3Float64[], size_t)
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3GetEventIndicators(fmi3Instance instance, fmi3Float64[], size_t)
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3GetContinuousStates(fmi3Instance instance, fmi3Float64[], size_t)
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3GetNominalsOfContinuousStates(fmi3Instance instance, fmi3Float64[], size_t)
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3GetNumberOfEventIndicators(fmi3Instance instance, size_t*)
{
    return Entry::unsupported(instance, __func__);
}
fmi3Status fmi3GetNumberOfContinuousStates(fmi3Instance instance, size_t*)
{
    return Entry::unsupported(instance, __func__);
}

fmi3Status fmi3EnterStepMode(fmi3Instance instance) { return Entry::unsupported(instance, __func__); }

fmi3Status fmi3GetOutputDerivatives(fmi3Instance instance, const fmi3ValueReference[], size_t, const fmi3Int32[],
                                    fmi3Float64[], size_t)
{
    return Entry::unsupported(instance, __func__);
}

fmi3Status fmi3DoStep(fmi3Instance instance, fmi3Float64 currentCommunicationPoint, fmi3Float64 communicationStepSize,
                      fmi3Boolean, fmi3Boolean* eventHandlingNeeded, fmi3Boolean* terminateSimulation,
                      fmi3Boolean* earlyReturn, fmi3Float64* lastSuccessfulTime)
{
    const char* function = __func__;
    return Entry::guarded(instance, function, [&](Instance& self) {
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
    return Entry::unsupported(instance, __func__);
}
