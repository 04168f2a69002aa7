#pragma once
// The FMI 3.0 types and functions that the runtime implements, declared from the names and
// signatures the standard publishes. Every function is exported with C linkage.
#include <cstddef>
#include <cstdint>

#define CONFLUX_FMI_EXPORT extern "C" __attribute__((visibility("default")))

typedef void* fmi3Instance;
typedef void* fmi3InstanceEnvironment;
typedef void* fmi3FMUState;
typedef std::uint32_t fmi3ValueReference;
typedef float fmi3Float32;
typedef double fmi3Float64;
typedef std::int8_t fmi3Int8;
typedef std::uint8_t fmi3UInt8;
typedef std::int16_t fmi3Int16;
typedef std::uint16_t fmi3UInt16;
typedef std::int32_t fmi3Int32;
typedef std::uint32_t fmi3UInt32;
typedef std::int64_t fmi3Int64;
typedef std::uint64_t fmi3UInt64;
typedef bool fmi3Boolean;
typedef char fmi3Char;
typedef const fmi3Char* fmi3String;
typedef std::uint8_t fmi3Byte;
typedef const fmi3Byte* fmi3Binary;
typedef bool fmi3Clock;

typedef enum
{
    fmi3OK,
    fmi3Warning,
    fmi3Discard,
    fmi3Error,
    fmi3Fatal
} fmi3Status;

typedef enum
{
    fmi3Independent,
    fmi3Constant,
    fmi3Fixed,
    fmi3Tunable,
    fmi3Discrete,
    fmi3Dependent
} fmi3DependencyKind;

typedef enum
{
    fmi3IntervalNotYetKnown,
    fmi3IntervalUnchanged,
    fmi3IntervalChanged
} fmi3IntervalQualifier;

typedef void (*fmi3LogMessageCallback)(fmi3InstanceEnvironment instanceEnvironment, fmi3Status status,
                                       fmi3String category, fmi3String message);
typedef void (*fmi3ClockUpdateCallback)(fmi3InstanceEnvironment instanceEnvironment);
typedef void (*fmi3IntermediateUpdateCallback)(fmi3InstanceEnvironment instanceEnvironment,
                                               fmi3Float64 intermediateUpdateTime,
                                               fmi3Boolean intermediateVariableSetRequested,
                                               fmi3Boolean intermediateVariableGetAllowed,
                                               fmi3Boolean intermediateStepFinished, fmi3Boolean canReturnEarly,
                                               fmi3Boolean* earlyReturnRequested, fmi3Float64* earlyReturnTime);
typedef void (*fmi3LockPreemptionCallback)(void);
typedef void (*fmi3UnlockPreemptionCallback)(void);

// Inquire version numbers and set debug logging
CONFLUX_FMI_EXPORT const char* fmi3GetVersion(void);
CONFLUX_FMI_EXPORT fmi3Status fmi3SetDebugLogging(fmi3Instance instance, fmi3Boolean loggingOn, size_t nCategories,
                                                  const fmi3String categories[]);

// Creation and destruction of instances
CONFLUX_FMI_EXPORT fmi3Instance fmi3InstantiateModelExchange(fmi3String instanceName, fmi3String instantiationToken,
                                                             fmi3String resourcePath, fmi3Boolean visible,
                                                             fmi3Boolean loggingOn,
                                                             fmi3InstanceEnvironment instanceEnvironment,
                                                             fmi3LogMessageCallback logMessage);
CONFLUX_FMI_EXPORT fmi3Instance fmi3InstantiateCoSimulation(
    fmi3String instanceName, fmi3String instantiationToken, fmi3String resourcePath, fmi3Boolean visible,
    fmi3Boolean loggingOn, fmi3Boolean eventModeUsed, fmi3Boolean earlyReturnAllowed,
    const fmi3ValueReference requiredIntermediateVariables[], size_t nRequiredIntermediateVariables,
    fmi3InstanceEnvironment instanceEnvironment, fmi3LogMessageCallback logMessage,
    fmi3IntermediateUpdateCallback intermediateUpdate);
CONFLUX_FMI_EXPORT fmi3Instance fmi3InstantiateScheduledExecution(
    fmi3String instanceName, fmi3String instantiationToken, fmi3String resourcePath, fmi3Boolean visible,
    fmi3Boolean loggingOn, fmi3InstanceEnvironment instanceEnvironment, fmi3LogMessageCallback logMessage,
    fmi3ClockUpdateCallback clockUpdate, fmi3LockPreemptionCallback lockPreemption,
    fmi3UnlockPreemptionCallback unlockPreemption);
CONFLUX_FMI_EXPORT void fmi3FreeInstance(fmi3Instance instance);

// Enter and exit initialization mode, enter event mode, terminate and reset
CONFLUX_FMI_EXPORT fmi3Status fmi3EnterInitializationMode(fmi3Instance instance, fmi3Boolean toleranceDefined,
                                                          fmi3Float64 tolerance, fmi3Float64 startTime,
                                                          fmi3Boolean stopTimeDefined, fmi3Float64 stopTime);
CONFLUX_FMI_EXPORT fmi3Status fmi3ExitInitializationMode(fmi3Instance instance);
CONFLUX_FMI_EXPORT fmi3Status fmi3EnterEventMode(fmi3Instance instance);
CONFLUX_FMI_EXPORT fmi3Status fmi3Terminate(fmi3Instance instance);
CONFLUX_FMI_EXPORT fmi3Status fmi3Reset(fmi3Instance instance);

// Getting and setting variable values
#define CONFLUX_FMI3_GET_SET(Name, Type)                                                                          \
    CONFLUX_FMI_EXPORT fmi3Status fmi3Get##Name(fmi3Instance instance, const fmi3ValueReference valueReferences[], \
                                                size_t nValueReferences, Type values[], size_t nValues);           \
    CONFLUX_FMI_EXPORT fmi3Status fmi3Set##Name(fmi3Instance instance, const fmi3ValueReference valueReferences[], \
                                                size_t nValueReferences, const Type values[], size_t nValues);
CONFLUX_FMI3_GET_SET(Float32, fmi3Float32)
CONFLUX_FMI3_GET_SET(Float64, fmi3Float64)
CONFLUX_FMI3_GET_SET(Int8, fmi3Int8)
CONFLUX_FMI3_GET_SET(UInt8, fmi3UInt8)
CONFLUX_FMI3_GET_SET(Int16, fmi3Int16)
CONFLUX_FMI3_GET_SET(UInt16, fmi3UInt16)
CONFLUX_FMI3_GET_SET(Int32, fmi3Int32)
CONFLUX_FMI3_GET_SET(UInt32, fmi3UInt32)
CONFLUX_FMI3_GET_SET(Int64, fmi3Int64)
CONFLUX_FMI3_GET_SET(UInt64, fmi3UInt64)
CONFLUX_FMI3_GET_SET(Boolean, fmi3Boolean)
CONFLUX_FMI3_GET_SET(String, fmi3String)
#undef CONFLUX_FMI3_GET_SET
CONFLUX_FMI_EXPORT fmi3Status fmi3GetBinary(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                            size_t nValueReferences, size_t valueSizes[], fmi3Binary values[],
                                            size_t nValues);
CONFLUX_FMI_EXPORT fmi3Status fmi3SetBinary(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                            size_t nValueReferences, const size_t valueSizes[],
                                            const fmi3Binary values[], size_t nValues);
CONFLUX_FMI_EXPORT fmi3Status fmi3GetClock(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                           size_t nValueReferences, fmi3Clock values[]);
CONFLUX_FMI_EXPORT fmi3Status fmi3SetClock(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                           size_t nValueReferences, const fmi3Clock values[]);

// Getting variable dependency information
CONFLUX_FMI_EXPORT fmi3Status fmi3GetNumberOfVariableDependencies(fmi3Instance instance,
                                                                  fmi3ValueReference valueReference,
                                                                  size_t* nDependencies);
CONFLUX_FMI_EXPORT fmi3Status fmi3GetVariableDependencies(fmi3Instance instance, fmi3ValueReference dependent,
                                                          size_t elementIndicesOfDependent[],
                                                          fmi3ValueReference independents[],
                                                          size_t elementIndicesOfIndependents[],
                                                          fmi3DependencyKind dependencyKinds[],
                                                          size_t nDependencies);

// Getting and setting the internal FMU state
CONFLUX_FMI_EXPORT fmi3Status fmi3GetFMUState(fmi3Instance instance, fmi3FMUState* FMUState);
CONFLUX_FMI_EXPORT fmi3Status fmi3SetFMUState(fmi3Instance instance, fmi3FMUState FMUState);
CONFLUX_FMI_EXPORT fmi3Status fmi3FreeFMUState(fmi3Instance instance, fmi3FMUState* FMUState);
CONFLUX_FMI_EXPORT fmi3Status fmi3SerializedFMUStateSize(fmi3Instance instance, fmi3FMUState FMUState, size_t* size);
CONFLUX_FMI_EXPORT fmi3Status fmi3SerializeFMUState(fmi3Instance instance, fmi3FMUState FMUState,
                                                    fmi3Byte serializedState[], size_t size);
CONFLUX_FMI_EXPORT fmi3Status fmi3DeserializeFMUState(fmi3Instance instance, const fmi3Byte serializedState[],
                                                      size_t size, fmi3FMUState* FMUState);

// Getting partial derivatives
CONFLUX_FMI_EXPORT fmi3Status fmi3GetDirectionalDerivative(fmi3Instance instance, const fmi3ValueReference unknowns[],
                                                           size_t nUnknowns, const fmi3ValueReference knowns[],
                                                           size_t nKnowns, const fmi3Float64 seed[], size_t nSeed,
                                                           fmi3Float64 sensitivity[], size_t nSensitivity);
CONFLUX_FMI_EXPORT fmi3Status fmi3GetAdjointDerivative(fmi3Instance instance, const fmi3ValueReference unknowns[],
                                                       size_t nUnknowns, const fmi3ValueReference knowns[],
                                                       size_t nKnowns, const fmi3Float64 seed[], size_t nSeed,
                                                       fmi3Float64 sensitivity[], size_t nSensitivity);

// Entering and exiting the configuration or reconfiguration mode
CONFLUX_FMI_EXPORT fmi3Status fmi3EnterConfigurationMode(fmi3Instance instance);
CONFLUX_FMI_EXPORT fmi3Status fmi3ExitConfigurationMode(fmi3Instance instance);

// Clock related functions
CONFLUX_FMI_EXPORT fmi3Status fmi3GetIntervalDecimal(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                                     size_t nValueReferences, fmi3Float64 intervals[],
                                                     fmi3IntervalQualifier qualifiers[]);
CONFLUX_FMI_EXPORT fmi3Status fmi3GetIntervalFraction(fmi3Instance instance,
                                                      const fmi3ValueReference valueReferences[],
                                                      size_t nValueReferences, fmi3UInt64 counters[],
                                                      fmi3UInt64 resolutions[], fmi3IntervalQualifier qualifiers[]);
CONFLUX_FMI_EXPORT fmi3Status fmi3GetShiftDecimal(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                                  size_t nValueReferences, fmi3Float64 shifts[]);
CONFLUX_FMI_EXPORT fmi3Status fmi3GetShiftFraction(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                                   size_t nValueReferences, fmi3UInt64 counters[],
                                                   fmi3UInt64 resolutions[]);
CONFLUX_FMI_EXPORT fmi3Status fmi3SetIntervalDecimal(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                                     size_t nValueReferences, const fmi3Float64 intervals[]);
CONFLUX_FMI_EXPORT fmi3Status fmi3SetIntervalFraction(fmi3Instance instance,
                                                      const fmi3ValueReference valueReferences[],
                                                      size_t nValueReferences, const fmi3UInt64 counters[],
                                                      const fmi3UInt64 resolutions[]);
CONFLUX_FMI_EXPORT fmi3Status fmi3SetShiftDecimal(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                                  size_t nValueReferences, const fmi3Float64 shifts[]);
CONFLUX_FMI_EXPORT fmi3Status fmi3SetShiftFraction(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                                   size_t nValueReferences, const fmi3UInt64 counters[],
                                                   const fmi3UInt64 resolutions[]);
CONFLUX_FMI_EXPORT fmi3Status fmi3EvaluateDiscreteStates(fmi3Instance instance);
CONFLUX_FMI_EXPORT fmi3Status fmi3UpdateDiscreteStates(fmi3Instance instance, fmi3Boolean* discreteStatesNeedUpdate,
                                                       fmi3Boolean* terminateSimulation,
                                                       fmi3Boolean* nominalsOfContinuousStatesChanged,
                                                       fmi3Boolean* valuesOfContinuousStatesChanged,
                                                       fmi3Boolean* nextEventTimeDefined, fmi3Float64* nextEventTime);

// Functions for Model Exchange
CONFLUX_FMI_EXPORT fmi3Status fmi3EnterContinuousTimeMode(fmi3Instance instance);
CONFLUX_FMI_EXPORT fmi3Status fmi3CompletedIntegratorStep(fmi3Instance instance,
                                                          fmi3Boolean noSetFMUStatePriorToCurrentPoint,
                                                          fmi3Boolean* enterEventMode,
                                                          fmi3Boolean* terminateSimulation);
CONFLUX_FMI_EXPORT fmi3Status fmi3SetTime(fmi3Instance instance, fmi3Float64 time);
CONFLUX_FMI_EXPORT fmi3Status fmi3SetContinuousStates(fmi3Instance instance, const fmi3Float64 continuousStates[],
                                                      size_t nContinuousStates);
CONFLUX_FMI_EXPORT fmi3Status fmi3GetContinuousStateDerivatives(fmi3Instance instance, fmi3Float64 derivatives[],
                                                                size_t nContinuousStates);
CONFLUX_FMI_EXPORT fmi3Status fmi3GetEventIndicators(fmi3Instance instance, fmi3Float64 eventIndicators[],
                                                     size_t nEventIndicators);
CONFLUX_FMI_EXPORT fmi3Status fmi3GetContinuousStates(fmi3Instance instance, fmi3Float64 continuousStates[],
                                                      size_t nContinuousStates);
CONFLUX_FMI_EXPORT fmi3Status fmi3GetNominalsOfContinuousStates(fmi3Instance instance, fmi3Float64 nominals[],
                                                                size_t nContinuousStates);
CONFLUX_FMI_EXPORT fmi3Status fmi3GetNumberOfEventIndicators(fmi3Instance instance, size_t* nEventIndicators);
CONFLUX_FMI_EXPORT fmi3Status fmi3GetNumberOfContinuousStates(fmi3Instance instance, size_t* nContinuousStates);

// Functions for Co-Simulation
CONFLUX_FMI_EXPORT fmi3Status fmi3EnterStepMode(fmi3Instance instance);
CONFLUX_FMI_EXPORT fmi3Status fmi3GetOutputDerivatives(fmi3Instance instance, const fmi3ValueReference valueReferences[],
                                                       size_t nValueReferences, const fmi3Int32 orders[],
                                                       fmi3Float64 values[], size_t nValues);
CONFLUX_FMI_EXPORT fmi3Status fmi3DoStep(fmi3Instance instance, fmi3Float64 currentCommunicationPoint,
                                         fmi3Float64 communicationStepSize,
                                         fmi3Boolean noSetFMUStatePriorToCurrentPoint,
                                         fmi3Boolean* eventHandlingNeeded, fmi3Boolean* terminateSimulation,
                                         fmi3Boolean* earlyReturn, fmi3Float64* lastSuccessfulTime);

// Functions for Scheduled Execution
CONFLUX_FMI_EXPORT fmi3Status fmi3ActivateModelPartition(fmi3Instance instance, fmi3ValueReference clockReference,
                                                         fmi3Float64 activationTime);
