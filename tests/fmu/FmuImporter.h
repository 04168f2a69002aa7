#pragma once
// Test support: loads an FMU's binary as an importer does (dlopen, then dlsym of every function of
// the FMI version) and collects what the FMU logs.
#include "fmu/fmi/Fmi2Declarations.h"
#include "fmu/fmi/Fmi3Declarations.h"

#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>

#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#define CONFLUX_FMI3_FUNCTIONS(X)                                                                                     \
    X(fmi3GetVersion) X(fmi3SetDebugLogging) X(fmi3InstantiateModelExchange) X(fmi3InstantiateCoSimulation)          \
    X(fmi3InstantiateScheduledExecution) X(fmi3FreeInstance) X(fmi3EnterInitializationMode)                          \
    X(fmi3ExitInitializationMode) X(fmi3EnterEventMode) X(fmi3Terminate) X(fmi3Reset) X(fmi3GetFloat32)              \
    X(fmi3GetFloat64) X(fmi3GetInt8) X(fmi3GetUInt8) X(fmi3GetInt16) X(fmi3GetUInt16) X(fmi3GetInt32)                \
    X(fmi3GetUInt32) X(fmi3GetInt64) X(fmi3GetUInt64) X(fmi3GetBoolean) X(fmi3GetString) X(fmi3GetBinary)            \
    X(fmi3GetClock) X(fmi3SetFloat32) X(fmi3SetFloat64) X(fmi3SetInt8) X(fmi3SetUInt8) X(fmi3SetInt16)               \
    X(fmi3SetUInt16) X(fmi3SetInt32) X(fmi3SetUInt32) X(fmi3SetInt64) X(fmi3SetUInt64) X(fmi3SetBoolean)             \
    X(fmi3SetString) X(fmi3SetBinary) X(fmi3SetClock) X(fmi3GetNumberOfVariableDependencies)                         \
    X(fmi3GetVariableDependencies) X(fmi3GetFMUState) X(fmi3SetFMUState) X(fmi3FreeFMUState)                         \
    X(fmi3SerializedFMUStateSize) X(fmi3SerializeFMUState) X(fmi3DeserializeFMUState)                                \
    X(fmi3GetDirectionalDerivative) X(fmi3GetAdjointDerivative) X(fmi3EnterConfigurationMode)                        \
    X(fmi3ExitConfigurationMode) X(fmi3GetIntervalDecimal) X(fmi3GetIntervalFraction) X(fmi3GetShiftDecimal)         \
    X(fmi3GetShiftFraction) X(fmi3SetIntervalDecimal) X(fmi3SetIntervalFraction) X(fmi3SetShiftDecimal)              \
    X(fmi3SetShiftFraction) X(fmi3EvaluateDiscreteStates) X(fmi3UpdateDiscreteStates)                                \
    X(fmi3EnterContinuousTimeMode) X(fmi3CompletedIntegratorStep) X(fmi3SetTime) X(fmi3SetContinuousStates)          \
    X(fmi3GetContinuousStateDerivatives) X(fmi3GetEventIndicators) X(fmi3GetContinuousStates)                        \
    X(fmi3GetNominalsOfContinuousStates) X(fmi3GetNumberOfEventIndicators) X(fmi3GetNumberOfContinuousStates)        \
    X(fmi3EnterStepMode) X(fmi3GetOutputDerivatives) X(fmi3DoStep) X(fmi3ActivateModelPartition)

#define CONFLUX_FMI2_FUNCTIONS(X)                                                                                     \
    X(fmi2GetTypesPlatform) X(fmi2GetVersion) X(fmi2SetDebugLogging) X(fmi2Instantiate) X(fmi2FreeInstance)          \
    X(fmi2SetupExperiment) X(fmi2EnterInitializationMode) X(fmi2ExitInitializationMode) X(fmi2Terminate)             \
    X(fmi2Reset) X(fmi2GetReal) X(fmi2GetInteger) X(fmi2GetBoolean) X(fmi2GetString) X(fmi2SetReal)                  \
    X(fmi2SetInteger) X(fmi2SetBoolean) X(fmi2SetString) X(fmi2GetFMUstate) X(fmi2SetFMUstate)                       \
    X(fmi2FreeFMUstate) X(fmi2SerializedFMUstateSize) X(fmi2SerializeFMUstate) X(fmi2DeSerializeFMUstate)            \
    X(fmi2GetDirectionalDerivative) X(fmi2EnterEventMode) X(fmi2NewDiscreteStates) X(fmi2EnterContinuousTimeMode)    \
    X(fmi2CompletedIntegratorStep) X(fmi2SetTime) X(fmi2SetContinuousStates) X(fmi2GetDerivatives)                   \
    X(fmi2GetEventIndicators) X(fmi2GetContinuousStates) X(fmi2GetNominalsOfContinuousStates)                        \
    X(fmi2SetRealInputDerivatives) X(fmi2GetRealOutputDerivatives) X(fmi2DoStep) X(fmi2CancelStep)                   \
    X(fmi2GetStatus) X(fmi2GetRealStatus) X(fmi2GetIntegerStatus) X(fmi2GetBooleanStatus) X(fmi2GetStringStatus)

namespace ConfluxFmuTest
{
// The runtime carries its own copy of libstdc++, whose exception-handling pool is allocated when the
// library loads and lost when it unloads, which LeakSanitizer reports; sanitized builds keep it loaded.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CONFLUX_FMU_KEEP_LOADED RTLD_NODELETE
#endif
#endif
#ifndef CONFLUX_FMU_KEEP_LOADED
#define CONFLUX_FMU_KEEP_LOADED 0
#endif

/// The FMU's binary, loaded with dlopen; every function of both FMI versions resolved by name.
class FmuLibrary
{
public:
    explicit FmuLibrary(const std::string& path)
    {
        m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | CONFLUX_FMU_KEEP_LOADED);
        if (!m_handle)
            throw std::runtime_error(std::string("dlopen failed: ") + dlerror());
#define CONFLUX_RESOLVE(name) name = resolve<decltype(&::name)>(#name);
        CONFLUX_FMI3_FUNCTIONS(CONFLUX_RESOLVE)
        CONFLUX_FMI2_FUNCTIONS(CONFLUX_RESOLVE)
#undef CONFLUX_RESOLVE
    }
    ~FmuLibrary()
    {
        if (m_handle)
            dlclose(m_handle);
    }
    FmuLibrary(const FmuLibrary&) = delete;
    FmuLibrary& operator=(const FmuLibrary&) = delete;

    const std::vector<std::string>& missing() const { return m_missing; }

#define CONFLUX_MEMBER(name) decltype(&::name) name = nullptr;
    CONFLUX_FMI3_FUNCTIONS(CONFLUX_MEMBER)
    CONFLUX_FMI2_FUNCTIONS(CONFLUX_MEMBER)
#undef CONFLUX_MEMBER

private:
    template <typename F> F resolve(const char* name)
    {
        void* symbol = dlsym(m_handle, name);
        if (!symbol)
            m_missing.push_back(name);
        return reinterpret_cast<F>(symbol);
    }

    void* m_handle = nullptr;
    std::vector<std::string> m_missing;
};

/// Messages an FMU logs, as "STATUS CATEGORY: MESSAGE" lines.
class LogCollector
{
public:
    static void fmi3Log(fmi3InstanceEnvironment environment, fmi3Status status, fmi3String category,
                        fmi3String message)
    {
        static_cast<LogCollector*>(environment)->add(static_cast<int>(status), category, message);
    }
    static void fmi2Log(fmi2ComponentEnvironment environment, fmi2String, fmi2Status status, fmi2String category,
                        fmi2String message, ...);

    void add(int status, const char* category, const char* message)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(std::to_string(status) + " " + (category ? category : "") + ": " + (message ? message : ""));
    }
    std::vector<std::string> lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    std::string last() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines.empty() ? std::string() : m_lines.back();
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};
inline void LogCollector::fmi2Log(fmi2ComponentEnvironment environment, fmi2String, fmi2Status status,
                                  fmi2String category, fmi2String message, ...)
{
    char text[4096];
    va_list arguments;
    va_start(arguments, message);
    std::vsnprintf(text, sizeof text, message, arguments);
    va_end(arguments);
    static_cast<LogCollector*>(environment)->add(static_cast<int>(status), category, text);
}
} // namespace ConfluxFmuTest
