// The FMI 2.0 co-simulation entry points, over the same Instance as FMI 3.0: each checks its
// component pointer and turns any exception into fmi2Error with a logged message.
#include "fmu/Instance.h"
#include "fmu/fmi/Fmi2Declarations.h"

#include <exception>
#include <string>

using ConfluxFmu::Access;
using ConfluxFmu::Instance;
using ConfluxFmu::Status;

namespace
{
fmi2Status toFmi2(Status status)
{
    switch (status)
    {
    case Status::OK:
        return fmi2OK;
    case Status::Warning:
        return fmi2Warning;
    case Status::Error:
        return fmi2Error;
    }
    return fmi2Error;
}

template <typename Body> fmi2Status guarded(fmi2Component component, const char* function, Body&& body)
{
    if (!component)
        return fmi2Error;
    auto& self = *static_cast<Instance*>(component);
    try
    {
        return toFmi2(body(self));
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
    return fmi2Error;
}

fmi2Status unsupported(fmi2Component component, const char* function)
{
    return guarded(component, function, [function](Instance& self) { return self.unsupported(function); });
}

fmi2Status noVariablesOfType(fmi2Component component, const char* function, const char* type,
                             const fmi2ValueReference references[], size_t count)
{
    return guarded(component, function, [&](Instance& self) {
        self.trace(function);
        if (count == 0)
            return Status::OK;
        const std::string reference = references ? std::to_string(references[0]) : std::string("(null)");
        return self.fail(function, std::string("this FMU has no ") + type + " variables (value reference " +
                                       reference + " is not one)");
    });
}

void logWithoutInstance(const fmi2CallbackFunctions* functions, fmi2String instanceName, const std::string& message)
{
    if (functions && functions->logger)
        functions->logger(functions->componentEnvironment, instanceName ? instanceName : "", fmi2Error,
                          "logStatusError", "%s", message.c_str());
}
} // namespace

const char* fmi2GetTypesPlatform(void) { return "default"; }
const char* fmi2GetVersion(void) { return "2.0"; }

fmi2Status fmi2SetDebugLogging(fmi2Component c, fmi2Boolean loggingOn, size_t nCategories,
                               const fmi2String categories[])
{
    const char* function = __func__;
    return guarded(c, function, [&](Instance& self) {
        return self.setDebugLogging(function, loggingOn != fmi2False, nCategories, categories);
    });
}

fmi2Component fmi2Instantiate(fmi2String instanceName, fmi2Type fmuType, fmi2String fmuGUID,
                              fmi2String fmuResourceLocation, const fmi2CallbackFunctions* functions, fmi2Boolean,
                              fmi2Boolean loggingOn)
{
    const std::string name = instanceName ? instanceName : "";
    try
    {
        if (fmuType != fmi2CoSimulation)
            throw std::runtime_error("model exchange was asked for; this FMU offers co-simulation only");
        if (!fmuGUID)
            throw std::runtime_error("no GUID was given");
        if (!fmuResourceLocation)
            throw std::runtime_error("no resource location was given");
        Instance::Logger logger;
        if (functions && functions->logger)
        {
            // The callbacks are copied: the importer need not keep its structure alive.
            const fmi2CallbackLogger log = functions->logger;
            const fmi2ComponentEnvironment environment = functions->componentEnvironment;
            auto nameCopy = std::make_shared<const std::string>(name);
            logger = [log, environment, nameCopy](Status status, const char* category, const std::string& text) {
                log(environment, nameCopy->c_str(), toFmi2(status), category, "%s", text.c_str());
            };
        }
        auto instance = std::make_unique<Instance>(name, fmuGUID, ConfluxFmu::pathFromFileUri(fmuResourceLocation),
                                                   logger, loggingOn != fmi2False);
        return instance.release();
    }
    catch (const std::exception& e)
    {
        logWithoutInstance(functions, instanceName, "fmi2Instantiate: instance \"" + name + "\": " + e.what());
    }
    catch (...)
    {
    }
    return nullptr;
}

void fmi2FreeInstance(fmi2Component c) { delete static_cast<Instance*>(c); }

fmi2Status fmi2SetupExperiment(fmi2Component c, fmi2Boolean, fmi2Real, fmi2Real startTime, fmi2Boolean, fmi2Real)
{
    const char* function = __func__;
    return guarded(c, function, [&](Instance& self) { return self.setStartTime(function, startTime); });
}

fmi2Status fmi2EnterInitializationMode(fmi2Component c)
{
    const char* function = __func__;
    return guarded(c, function, [&](Instance& self) { return self.enterInitializationMode(function, 0.0, false); });
}

fmi2Status fmi2ExitInitializationMode(fmi2Component c)
{
    const char* function = __func__;
    return guarded(c, function, [&](Instance& self) { return self.exitInitializationMode(function); });
}

fmi2Status fmi2Terminate(fmi2Component c)
{
    const char* function = __func__;
    return guarded(c, function, [&](Instance& self) { return self.terminate(function); });
}

fmi2Status fmi2Reset(fmi2Component c)
{
    const char* function = __func__;
    return guarded(c, function, [&](Instance& self) { return self.reset(function); });
}

fmi2Status fmi2GetReal(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2Real value[])
{
    const char* function = __func__;
    return guarded(c, function,
                   [&](Instance& self) { return self.getReal(function, Access::Real, vr, nvr, value, nullptr, nvr); });
}

fmi2Status fmi2SetReal(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2Real value[])
{
    const char* function = __func__;
    return guarded(c, function,
                   [&](Instance& self) { return self.setReal(function, Access::Real, vr, nvr, value, nullptr, nvr); });
}

fmi2Status fmi2GetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2Integer[])
{
    return noVariablesOfType(c, __func__, "Integer", vr, nvr);
}
fmi2Status fmi2GetBoolean(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2Boolean[])
{
    return noVariablesOfType(c, __func__, "Boolean", vr, nvr);
}
fmi2Status fmi2GetString(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2String[])
{
    return noVariablesOfType(c, __func__, "String", vr, nvr);
}
fmi2Status fmi2SetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2Integer[])
{
    return noVariablesOfType(c, __func__, "Integer", vr, nvr);
}
fmi2Status fmi2SetBoolean(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2Boolean[])
{
    return noVariablesOfType(c, __func__, "Boolean", vr, nvr);
}
fmi2Status fmi2SetString(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2String[])
{
    return noVariablesOfType(c, __func__, "String", vr, nvr);
}

fmi2Status fmi2GetFMUstate(fmi2Component c, fmi2FMUstate*) { return unsupported(c, __func__); }
fmi2Status fmi2SetFMUstate(fmi2Component c, fmi2FMUstate) { return unsupported(c, __func__); }
fmi2Status fmi2FreeFMUstate(fmi2Component c, fmi2FMUstate*) { return unsupported(c, __func__); }
fmi2Status fmi2SerializedFMUstateSize(fmi2Component c, fmi2FMUstate, size_t*) { return unsupported(c, __func__); }
fmi2Status fmi2SerializeFMUstate(fmi2Component c, fmi2FMUstate, fmi2Byte[], size_t)
{
    return unsupported(c, __func__);
}
fmi2Status fmi2DeSerializeFMUstate(fmi2Component c, const fmi2Byte[], size_t, fmi2FMUstate*)
{
    return unsupported(c, __func__);
}
fmi2Status fmi2GetDirectionalDerivative(fmi2Component c, const fmi2ValueReference[], size_t,
                                        const fmi2ValueReference[], size_t, const fmi2Real[], fmi2Real[])
{
    return unsupported(c, __func__);
}

fmi2Status fmi2EnterEventMode(fmi2Component c) { return unsupported(c, __func__); }
fmi2Status fmi2NewDiscreteStates(fmi2Component c, fmi2EventInfo*) { return unsupported(c, __func__); }
fmi2Status fmi2EnterContinuousTimeMode(fmi2Component c) { return unsupported(c, __func__); }
fmi2Status fmi2CompletedIntegratorStep(fmi2Component c, fmi2Boolean, fmi2Boolean*, fmi2Boolean*)
{
    return unsupported(c, __func__);
}
fmi2Status fmi2SetTime(fmi2Component c, fmi2Real) { return unsupported(c, __func__); }
fmi2Status fmi2SetContinuousStates(fmi2Component c, const fmi2Real[], size_t) { return unsupported(c, __func__); }
fmi2Status fmi2GetDerivatives(fmi2Component c, fmi2Real[], size_t) { return unsupported(c, __func__); }
fmi2Status fmi2GetEventIndicators(fmi2Component c, fmi2Real[], size_t) { return unsupported(c, __func__); }
fmi2Status fmi2GetContinuousStates(fmi2Component c, fmi2Real[], size_t) { return unsupported(c, __func__); }
fmi2Status fmi2GetNominalsOfContinuousStates(fmi2Component c, fmi2Real[], size_t)
{
    return unsupported(c, __func__);
}

fmi2Status fmi2SetRealInputDerivatives(fmi2Component c, const fmi2ValueReference[], size_t, const fmi2Integer[],
                                       const fmi2Real[])
{
    return unsupported(c, __func__);
}
fmi2Status fmi2GetRealOutputDerivatives(fmi2Component c, const fmi2ValueReference[], size_t, const fmi2Integer[],
                                        fmi2Real[])
{
    return unsupported(c, __func__);
}

fmi2Status fmi2DoStep(fmi2Component c, fmi2Real currentCommunicationPoint, fmi2Real communicationStepSize, fmi2Boolean)
{
    const char* function = __func__;
    return guarded(c, function,
                   [&](Instance& self) { return self.doStep(function, currentCommunicationPoint, communicationStepSize); });
}

fmi2Status fmi2CancelStep(fmi2Component c) { return unsupported(c, __func__); }

fmi2Status fmi2GetStatus(fmi2Component c, const fmi2StatusKind, fmi2Status*) { return unsupported(c, __func__); }

fmi2Status fmi2GetRealStatus(fmi2Component c, const fmi2StatusKind s, fmi2Real* value)
{
    const char* function = __func__;
    return guarded(c, function, [&](Instance& self) {
        self.trace(function);
        if (s != fmi2LastSuccessfulTime || !value)
            return self.fail(function, "only fmi2LastSuccessfulTime is answered, into a value that is not null");
        *value = self.time();
        return Status::OK;
    });
}

fmi2Status fmi2GetIntegerStatus(fmi2Component c, const fmi2StatusKind, fmi2Integer*)
{
    return unsupported(c, __func__);
}

fmi2Status fmi2GetBooleanStatus(fmi2Component c, const fmi2StatusKind s, fmi2Boolean* value)
{
    const char* function = __func__;
    return guarded(c, function, [&](Instance& self) {
        self.trace(function);
        if (s != fmi2Terminated || !value)
            return self.fail(function, "only fmi2Terminated is answered, into a value that is not null");
        *value = fmi2False;
        return Status::OK;
    });
}

fmi2Status fmi2GetStringStatus(fmi2Component c, const fmi2StatusKind, fmi2String*) { return unsupported(c, __func__); }
