#pragma once
// The FMI 2.0 types and functions that the runtime implements, declared from the names and
// signatures the standard publishes. Every function is exported with C linkage.
#include <cstddef>

#ifndef CONFLUX_FMI_EXPORT
#define CONFLUX_FMI_EXPORT extern "C" __attribute__((visibility("default")))
#endif

typedef void* fmi2Component;
typedef void* fmi2ComponentEnvironment;
typedef void* fmi2FMUstate;
typedef unsigned int fmi2ValueReference;
typedef double fmi2Real;
typedef int fmi2Integer;
typedef int fmi2Boolean;
typedef char fmi2Char;
typedef const fmi2Char* fmi2String;
typedef char fmi2Byte;

#define fmi2True 1
#define fmi2False 0

typedef enum
{
    fmi2OK,
    fmi2Warning,
    fmi2Discard,
    fmi2Error,
    fmi2Fatal,
    fmi2Pending
} fmi2Status;

typedef enum
{
    fmi2ModelExchange,
    fmi2CoSimulation
} fmi2Type;

typedef enum
{
    fmi2DoStepStatus,
    fmi2PendingStatus,
    fmi2LastSuccessfulTime,
    fmi2Terminated
} fmi2StatusKind;

typedef void (*fmi2CallbackLogger)(fmi2ComponentEnvironment componentEnvironment, fmi2String instanceName,
                                   fmi2Status status, fmi2String category, fmi2String message, ...);
typedef void* (*fmi2CallbackAllocateMemory)(size_t nobj, size_t size);
typedef void (*fmi2CallbackFreeMemory)(void* obj);
typedef void (*fmi2StepFinished)(fmi2ComponentEnvironment componentEnvironment, fmi2Status status);

typedef struct
{
    fmi2CallbackLogger logger;
    fmi2CallbackAllocateMemory allocateMemory;
    fmi2CallbackFreeMemory freeMemory;
    fmi2StepFinished stepFinished;
    fmi2ComponentEnvironment componentEnvironment;
} fmi2CallbackFunctions;

typedef struct
{
    fmi2Boolean newDiscreteStatesNeeded;
    fmi2Boolean terminateSimulation;
    fmi2Boolean nominalsOfContinuousStatesChanged;
    fmi2Boolean valuesOfContinuousStatesChanged;
    fmi2Boolean nextEventTimeDefined;
    fmi2Real nextEventTime;
} fmi2EventInfo;

// Common functions
CONFLUX_FMI_EXPORT const char* fmi2GetTypesPlatform(void);
CONFLUX_FMI_EXPORT const char* fmi2GetVersion(void);
CONFLUX_FMI_EXPORT fmi2Status fmi2SetDebugLogging(fmi2Component c, fmi2Boolean loggingOn, size_t nCategories,
                                                  const fmi2String categories[]);
CONFLUX_FMI_EXPORT fmi2Component fmi2Instantiate(fmi2String instanceName, fmi2Type fmuType, fmi2String fmuGUID,
                                                 fmi2String fmuResourceLocation,
                                                 const fmi2CallbackFunctions* functions, fmi2Boolean visible,
                                                 fmi2Boolean loggingOn);
CONFLUX_FMI_EXPORT void fmi2FreeInstance(fmi2Component c);
CONFLUX_FMI_EXPORT fmi2Status fmi2SetupExperiment(fmi2Component c, fmi2Boolean toleranceDefined, fmi2Real tolerance,
                                                  fmi2Real startTime, fmi2Boolean stopTimeDefined,
                                                  fmi2Real stopTime);
CONFLUX_FMI_EXPORT fmi2Status fmi2EnterInitializationMode(fmi2Component c);
CONFLUX_FMI_EXPORT fmi2Status fmi2ExitInitializationMode(fmi2Component c);
CONFLUX_FMI_EXPORT fmi2Status fmi2Terminate(fmi2Component c);
CONFLUX_FMI_EXPORT fmi2Status fmi2Reset(fmi2Component c);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetReal(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                          fmi2Real value[]);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                             fmi2Integer value[]);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetBoolean(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                             fmi2Boolean value[]);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetString(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                            fmi2String value[]);
CONFLUX_FMI_EXPORT fmi2Status fmi2SetReal(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                          const fmi2Real value[]);
CONFLUX_FMI_EXPORT fmi2Status fmi2SetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                             const fmi2Integer value[]);
CONFLUX_FMI_EXPORT fmi2Status fmi2SetBoolean(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                             const fmi2Boolean value[]);
CONFLUX_FMI_EXPORT fmi2Status fmi2SetString(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                            const fmi2String value[]);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetFMUstate(fmi2Component c, fmi2FMUstate* FMUstate);
CONFLUX_FMI_EXPORT fmi2Status fmi2SetFMUstate(fmi2Component c, fmi2FMUstate FMUstate);
CONFLUX_FMI_EXPORT fmi2Status fmi2FreeFMUstate(fmi2Component c, fmi2FMUstate* FMUstate);
CONFLUX_FMI_EXPORT fmi2Status fmi2SerializedFMUstateSize(fmi2Component c, fmi2FMUstate FMUstate, size_t* size);
CONFLUX_FMI_EXPORT fmi2Status fmi2SerializeFMUstate(fmi2Component c, fmi2FMUstate FMUstate, fmi2Byte serializedState[],
                                                    size_t size);
CONFLUX_FMI_EXPORT fmi2Status fmi2DeSerializeFMUstate(fmi2Component c, const fmi2Byte serializedState[], size_t size,
                                                      fmi2FMUstate* FMUstate);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetDirectionalDerivative(fmi2Component c, const fmi2ValueReference vUnknown_ref[],
                                                           size_t nUnknown, const fmi2ValueReference vKnown_ref[],
                                                           size_t nKnown, const fmi2Real dvKnown[],
                                                           fmi2Real dvUnknown[]);

// Functions for Model Exchange
CONFLUX_FMI_EXPORT fmi2Status fmi2EnterEventMode(fmi2Component c);
CONFLUX_FMI_EXPORT fmi2Status fmi2NewDiscreteStates(fmi2Component c, fmi2EventInfo* fmi2eventInfo);
CONFLUX_FMI_EXPORT fmi2Status fmi2EnterContinuousTimeMode(fmi2Component c);
CONFLUX_FMI_EXPORT fmi2Status fmi2CompletedIntegratorStep(fmi2Component c, fmi2Boolean noSetFMUStatePriorToCurrentPoint,
                                                          fmi2Boolean* enterEventMode,
                                                          fmi2Boolean* terminateSimulation);
CONFLUX_FMI_EXPORT fmi2Status fmi2SetTime(fmi2Component c, fmi2Real time);
CONFLUX_FMI_EXPORT fmi2Status fmi2SetContinuousStates(fmi2Component c, const fmi2Real x[], size_t nx);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetDerivatives(fmi2Component c, fmi2Real derivatives[], size_t nx);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetEventIndicators(fmi2Component c, fmi2Real eventIndicators[], size_t ni);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetContinuousStates(fmi2Component c, fmi2Real x[], size_t nx);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetNominalsOfContinuousStates(fmi2Component c, fmi2Real x_nominal[], size_t nx);

// Functions for Co-Simulation
CONFLUX_FMI_EXPORT fmi2Status fmi2SetRealInputDerivatives(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                                          const fmi2Integer order[], const fmi2Real value[]);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetRealOutputDerivatives(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                                           const fmi2Integer order[], fmi2Real value[]);
CONFLUX_FMI_EXPORT fmi2Status fmi2DoStep(fmi2Component c, fmi2Real currentCommunicationPoint,
                                         fmi2Real communicationStepSize,
                                         fmi2Boolean noSetFMUStatePriorToCurrentPoint);
CONFLUX_FMI_EXPORT fmi2Status fmi2CancelStep(fmi2Component c);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetStatus(fmi2Component c, const fmi2StatusKind s, fmi2Status* value);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetRealStatus(fmi2Component c, const fmi2StatusKind s, fmi2Real* value);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetIntegerStatus(fmi2Component c, const fmi2StatusKind s, fmi2Integer* value);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetBooleanStatus(fmi2Component c, const fmi2StatusKind s, fmi2Boolean* value);
CONFLUX_FMI_EXPORT fmi2Status fmi2GetStringStatus(fmi2Component c, const fmi2StatusKind s, fmi2String* value);
