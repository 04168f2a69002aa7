// The FMI 2.0 co-simulation entry points, over the same Instance and EntryGuard as FMI 3.0: each
// checks its component pointer and turns any exception into fmi2Error with a logged message.
#include "fmu/EntryGuard.h"
#include "fmu/fmi/Fmi2Declarations.h"

#include <memory>
#include <stdexcept>
#include <string>

using ConfluxFmu::Access;
using ConfluxFmu::Instance;
using ConfluxFmu::Status;

namespace
{
using Entry = ConfluxFmu::EntryGuard<fmi2Status, fmi2OK, fmi2Warning, fmi2Error>;

void logWithoutInstance(const fmi2CallbackFunctions* functions, fmi2String instanceName, const std::string& message)
{
    if (functions && functions->logger)
        functions->logger(functions->componentEnvironment, instanceName ? instanceName : "", fmi2Error,
                          "logStatusError", "%s", message.c_str());
}

// The fmi2Get*Status functions answer one kind each, `answer(instance)`, into a value that is not null.
template <typename Value, typename Answer>
fmi2Status answerStatus(fmi2Component c, const char* function, fmi2StatusKind kind, fmi2StatusKind answered,
                        const char* answeredName, Value* value, Answer answer)
{
    return Entry::guarded(c, function, [&](Instance& self) {
        self.trace(function);
        if (kind != answered || !value)
            return self.fail(function,
                             std::string("only ") + answeredName + " is answered, into a value that is not null");
        *value = answer(self);
        return Status::OK;
    });
}
} // namespace

const char* fmi2GetTypesPlatform(void) { return "default"; }
const char* fmi2GetVersion(void) { return "2.0"; }

fmi2Status fmi2SetDebugLogging(fmi2Component c, fmi2Boolean loggingOn, size_t nCategories,
                               const fmi2String categories[])
{
    return Entry::forward<&Instance::setDebugLogging>(c, __func__, loggingOn != fmi2False, nCategories, categories);
}

fmi2Component fmi2Instantiate(fmi2String instanceName, fmi2Type fmuType, fmi2String fmuGUID,
                              fmi2String fmuResourceLocation, const fmi2CallbackFunctions* functions, fmi2Boolean,
                              fmi2Boolean loggingOn)
{
    const std::string name = instanceName ? instanceName : "";
    const auto create = [&] {
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
                log(environment, nameCopy->c_str(), Entry::toFmi(status), category, "%s", text.c_str());
            };
        }
        return std::make_unique<Instance>(name, fmuGUID, ConfluxFmu::pathFromFileUri(fmuResourceLocation), logger,
                                          loggingOn != fmi2False);
    };
    return Entry::instantiate(__func__, name, create, [&](const std::string& message) {
        logWithoutInstance(functions, instanceName, message);
    });
}

void fmi2FreeInstance(fmi2Component c) { Entry::freeInstance(c); }

fmi2Status fmi2SetupExperiment(fmi2Component c, fmi2Boolean, fmi2Real, fmi2Real startTime, fmi2Boolean, fmi2Real)
{
    return Entry::forward<&Instance::setStartTime>(c, __func__, startTime);
}

fmi2Status fmi2EnterInitializationMode(fmi2Component c)
{
    return Entry::forward<&Instance::enterInitializationMode>(c, __func__, 0.0, false);
}

fmi2Status fmi2ExitInitializationMode(fmi2Component c)
{
    return Entry::forward<&Instance::exitInitializationMode>(c, __func__);
}

fmi2Status fmi2Terminate(fmi2Component c) { return Entry::forward<&Instance::terminate>(c, __func__); }

fmi2Status fmi2Reset(fmi2Component c) { return Entry::forward<&Instance::reset>(c, __func__); }

fmi2Status fmi2GetReal(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2Real value[])
{
    return Entry::forward<&Instance::getReal>(c, __func__, Access::Real, vr, nvr, value, nullptr, nvr);
}

fmi2Status fmi2SetReal(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2Real value[])
{
    return Entry::forward<&Instance::setReal>(c, __func__, Access::Real, vr, nvr, value, nullptr, nvr);
}

fmi2Status fmi2GetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2Integer[])
{
    return Entry::noVariablesOfType(c, __func__, "Integer", vr, nvr);
}
fmi2Status fmi2GetBoolean(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2Boolean[])
{
    return Entry::noVariablesOfType(c, __func__, "Boolean", vr, nvr);
}
fmi2Status fmi2GetString(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, fmi2String[])
{
    return Entry::noVariablesOfType(c, __func__, "String", vr, nvr);
}
fmi2Status fmi2SetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2Integer[])
{
    return Entry::noVariablesOfType(c, __func__, "Integer", vr, nvr);
}
fmi2Status fmi2SetBoolean(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2Boolean[])
{
    return Entry::noVariablesOfType(c, __func__, "Boolean", vr, nvr);
}
fmi2Status fmi2SetString(fmi2Component c, const fmi2ValueReference vr[], size_t nvr, const fmi2String[])
{
    return Entry::noVariablesOfType(c, __func__, "String", vr, nvr);
}

fmi2Status fmi2GetFMUstate(fmi2Component c, fmi2FMUstate*) { return Entry::unsupported(c, __func__); }
fmi2Status fmi2SetFMUstate(fmi2Component c, fmi2FMUstate) { return Entry::unsupported(c, __func__); }
fmi2Status fmi2FreeFMUstate(fmi2Component c, fmi2FMUstate*) { return Entry::unsupported(c, __func__); }
fmi2Status fmi2SerializedFMUstateSize(fmi2Component c, fmi2FMUstate, size_t*)
{
    return Entry::unsupported(c, __func__);
}
fmi2Status fmi2SerializeFMUstate(fmi2Component c, fmi2FMUstate, fmi2Byte[], size_t)
{
    return Entry::unsupported(c, __func__);
}
fmi2Status fmi2DeSerializeFMUstate(fmi2Component c, const fmi2Byte[], size_t, fmi2FMUstate*)
{
    return Entry::unsupported(c, __func__);
}
fmi2Status fmi2GetDirectionalDerivative(fmi2Component c, const fmi2ValueReference[], size_t,
                                        const fmi2ValueReference[], size_t, const fmi2Real[], fmi2Real[])
{
    return Entry::unsupported(c, __func__);
}

fmi2Status fmi2EnterEventMode(fmi2Component c) { return Entry::unsupported(c, __func__); }
fmi2Status fmi2NewDiscreteStates(fmi2Component c, fmi2EventInfo*) { return Entry::unsupported(c, __func__); }
fmi2Status fmi2EnterContinuousTimeMode(fmi2Component c) { return Entry::unsupported(c, __func__); }
fmi2Status fmi2CompletedIntegratorStep(fmi2Component c, fmi2Boolean, fmi2Boolean*, fmi2Boolean*)
{
    return Entry::unsupported(c, __func__);
}
fmi2Status fmi2SetTime(fmi2Component c, fmi2Real) { return Entry::unsupported(c, __func__); }
fmi2Status fmi2SetContinuousStates(fmi2Component c, const fmi2Real[], size_t)
{
    return Entry::unsupported(c, __func__);
}
fmi2Status fmi2GetDerivatives(fmi2Component c, fmi2Real[], size_t) { return Entry::unsupported(c, __func__); }
fmi2Status fmi2GetEventIndicators(fmi2Component c, fmi2Real[], size_t) { return Entry::unsupported(c, __func__); }
fmi2Status fmi2GetContinuousStates(fmi2Component c, fmi2Real[], size_t) { return Entry::unsupported(c, __func__); }
fmi2Status fmi2GetNominalsOfContinuousStates(fmi2Component c, fmi2Real[], size_t)
{
    return Entry::unsupported(c, __func__);
}

fmi2Status fmi2SetRealInputDerivatives(fmi2Component c, const fmi2ValueReference[], size_t, const fmi2Integer[],
                                       const fmi2Real[])
{
    return Entry::unsupported(c, __func__);
}
fmi2Status fmi2GetRealOutputDerivatives(fmi2Component c, const fmi2ValueReference[], size_t, const fmi2Integer[],
                                        fmi2Real[])
{
    return Entry::unsupported(c, __func__);
}

fmi2Status fmi2DoStep(fmi2Component c, fmi2Real currentCommunicationPoint, fmi2Real communicationStepSize, fmi2Boolean)
{
    return Entry::forward<&Instance::doStep>(c, __func__, currentCommunicationPoint, communicationStepSize);
}

fmi2Status fmi2CancelStep(fmi2Component c) { return Entry::unsupported(c, __func__); }

fmi2Status fmi2GetStatus(fmi2Component c, const fmi2StatusKind, fmi2Status*) { return Entry::unsupported(c, __func__); }

fmi2Status fmi2GetRealStatus(fmi2Component c, const fmi2StatusKind s, fmi2Real* value)
{
    return answerStatus(c, __func__, s, fmi2LastSuccessfulTime, "fmi2LastSuccessfulTime", value,
                        [](const Instance& self) { return self.time(); });
}

fmi2Status fmi2GetIntegerStatus(fmi2Component c, const fmi2StatusKind, fmi2Integer*)
{
    return Entry::unsupported(c, __func__);
}

fmi2Status fmi2GetBooleanStatus(fmi2Component c, const fmi2StatusKind s, fmi2Boolean* value)
{
    return answerStatus(c, __func__, s, fmi2Terminated, "fmi2Terminated", value,
                        [](const Instance&) -> fmi2Boolean { return fmi2False; });
}

fmi2Status fmi2GetStringStatus(fmi2Component c, const fmi2StatusKind, fmi2String*)
{
    return Entry::unsupported(c, __func__);
}
