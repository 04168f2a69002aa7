// The per-linker operations of ConfluxGenerator: each reads its settings from the solution
// control (or the project root), adds its linkers to the exchange control and registers the
// control's event handlers.
#include "src/exchange/ConfluxGenerator.h"
#include "src/exchange/LinkerAIPythonEventHandler.h"
#include "src/exchange/PythonSourceFile.h"

#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/TypeRef.h"
#include "host/entitymodel/UnitConverter.h"
#include "host/solver/ConfluxCntrl.h"
#include "host/solver/LinkerCSVEventHandler.h"
#include "host/solver/LinkerPythonModule.h"
#include "host/solver/LinkerTrivialEventHandler.h"
#include "host/solver/LinkerUserDefinedDLL.h"
#include "host/solver/Project.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

using namespace EntityModel;

namespace Conflux
{
namespace
{
constexpr auto windows = Utilities::OperatingSystem::Windows;

/// The library (owner entity) and handler (target entity) names chosen by the event-handler
/// link at `path`; both empty when nothing is chosen.
std::pair<std::string, std::string> selectedEventHandler(Entity* solutionControl, const AttributePath& path)
{
    Attribute* attribute = solutionControl ? solutionControl->findAttribute(path) : nullptr;
    if (!attribute || !attribute->isLinkAttribute())
        return {};
    Entity* handler = static_cast<LinkAttribute*>(attribute)->getTarget();
    if (!handler)
        return {};
    Entity* library = handler->getOwnerEntity();
    return {library ? library->getName() : std::string(), handler->getName()};
}

/// Sets the control's log level from the solution control's exchange log level; other values
/// leave the control's level as it was.
void readLogLevel(Entity* solutionControl, CFDSolver::ConfluxCntrl& control)
{
    const Attribute* logLevel = solutionControl->findAttribute(Conflux_Control_t / Log_Level_t);
    if (!logLevel)
        return;
    if (*logLevel == Error_Only_t)
        control.logLevel(CFDSolver::ConfluxCntrl::logErrorsOnly);
    else if (*logLevel == All_t)
        control.logLevel(CFDSolver::ConfluxCntrl::logAll);
}

/// The standard unit a setting's value is kept in, or nothing for a plain number.
std::string standardUnit(const Attribute& setting)
{
    if (!setting.isDoubleAttribute())
        return {};
    const UnitTypeAttribute* unit = static_cast<const DoubleAttribute&>(setting).getUnitAttribute();
    return unit ? " " + UnitConverter::instance().getSIType(unit->getQuantity()) : std::string();
}

/// Whole units of a setting's SI value, rounded up: 2.1 s gives 3. A value that is not finite, or
/// lies outside the setting's bounds or the 32-bit range the solver takes, is refused rather than
/// wrapped into a nonsense count.
std::int32_t wholeUnitsRoundedUp(const Attribute& setting, const AttributePath& path)
{
    const double value = setting.standardVal();
    const double rounded = std::ceil(value);
    double low = std::numeric_limits<std::int32_t>::min();
    double high = std::numeric_limits<std::int32_t>::max();
    if (const auto min = setting.getMinimum())
        low = std::max(low, *min);
    if (const auto max = setting.getMaximum())
        high = std::min(high, *max);
    if (!std::isfinite(value) || rounded < std::ceil(low) || rounded > high)
    {
        std::ostringstream message;
        const std::string unit = standardUnit(setting);
        message << "Conflux setting '" << path.toString() << "' is " << value << unit
                << ", outside the range " << low << " to " << high << unit;
        throw std::runtime_error(message.str());
    }
    return static_cast<std::int32_t>(rounded);
}

/// Registers the event handler of a solver-library linker that has just been added.
void registerEventHandler(CFDSolver::ConfluxCntrl& control, const LinkerAbstract& linker,
                          const std::string& handler)
{
    control.addEventHandler(linker.getLibraryName(windows), handler);
}

} // namespace

void ConfluxGenerator::updateProject_Trivial(CFDSolver::Project* project)
{
    CFDSolver::ConfluxCntrl& control = *project->GetConfluxCntrl();
    Entity* solutionControl = EntityFetcher::getSolutionControl(m_root);
    readLogLevel(solutionControl, control);
    auto* linker = control.getLinkers().addLinker(
        std::make_unique<LinkerTrivialEventHandler>(TrivialEventHandlerOptions()));
    registerEventHandler(control, *linker, LinkerTrivialEventHandler::getEventHandler());
}

void ConfluxGenerator::updateProject_FileParser(CFDSolver::Project* project)
{
    CFDSolver::ConfluxCntrl& control = *project->GetConfluxCntrl();
    Entity* solutionControl = EntityFetcher::getSolutionControl(m_root);
    const AttributePath properties = Conflux_Control_t / FileParser_Properties_t;
    auto setting = [&](const AttributePath& path)
    { return solutionControl->findAttribute(properties / path); };

    readLogLevel(solutionControl, control);

    CSVEventHandlerOptions options;
    const Attribute* fileMode = setting(File_Mode_t);
    if (!fileMode)
        throw std::runtime_error("Invalid File Mode.");
    if (*fileMode == Default_t)
        options.fileMode = 1;
    else if (*fileMode == Sequential_Files_t)
        options.fileMode = 2;
    else
        throw std::runtime_error("Invalid FileParser Mode.");

    if (const Attribute* stateFileMode = setting(State_File_Mode_t))
    {
        if (*stateFileMode == Auto_t)
            options.stateFileMode = 0;
        else if (*stateFileMode == Strict_t)
            options.stateFileMode = 1;
        else if (*stateFileMode == No_State_File_t)
            options.stateFileMode = 2;
    }

    const Attribute* heartbeat = setting(Use_Alive_HeartBeat_t);
    if (options.stateFileMode != 2 && heartbeat && heartbeat->boolVal())
    {
        if (const Attribute* interval = setting(Solver_heart_beat_interval_t))
            options.solverHeartbeatInterval =
                wholeUnitsRoundedUp(*interval, properties / Solver_heart_beat_interval_t);
        if (const Attribute* graceCheck = setting(AttributePath("Client heartbeat check grace period")))
        {
            if (!graceCheck->boolVal())
                options.clientHeartbeatGracePeriod = -1;
            else if (const Attribute* grace = setting(Client_heartbeat_check_grace_period_t))
                options.clientHeartbeatGracePeriod =
                    wholeUnitsRoundedUp(*grace, properties / Client_heartbeat_check_grace_period_t);
        }
    }

    if (const Attribute* parseFailure = setting(Parse_Failure_Handling_t))
    {
        if (*parseFailure == Strict_t)
            options.parseFailureHandling = 1;
        else if (*parseFailure == Ignore_t)
            options.parseFailureHandling = 2;
        else if (*parseFailure == Try_Again_t)
            options.parseFailureHandling = 0;
    }

    if (const Attribute* limitAttempts = setting(Limit_input_file_try_attempts_t))
    {
        if (*limitAttempts == No_t)
            options.inputFileTryAttempts = -1;
        else
        {
            const Attribute* attempts = setting(Input_file_try_attempts_t);
            if (!attempts || !attempts->isIntegerAttribute())
                throw std::runtime_error("Invalid Conflux Mode.");
            if (attempts->intVal() > 0)
                options.inputFileTryAttempts = attempts->intVal();
        }
    }

    const Attribute* syncMode = setting(Sync_Mode_t);
    if (syncMode && !syncMode->isHidden() && *syncMode == Each_Time_Step_t)
        options.syncMode = 20;
    else
    {
        if (const Attribute* interval = setting(Sync_Iteration_Interval_t))
            options.syncIterationInterval = interval->intVal();
        if (const Attribute* start = setting(Sync_Start_Iteration_t))
            options.syncStartIteration = start->intVal();
    }

    if (const Attribute* fullNames = setting(Use_Full_Entity_Name_in_CSV_t))
        options.useFullEntityName = fullNames->boolVal();

    options.directory = project->GetProjectStore().getStoreDirectoryName() + "/Conflux";

    auto* linker = control.getLinkers().addLinker(std::make_unique<LinkerCSVEventHandler>(options));
    registerEventHandler(control, *linker, LinkerCSVEventHandler::getEventHandler());
}

void ConfluxGenerator::updateProject_UserDefinedDLL(CFDSolver::Project* project)
{
    CFDSolver::ConfluxCntrl& control = *project->GetConfluxCntrl();
    Entity* solutionControl = EntityFetcher::getSolutionControl(m_root);
    const auto [selectedLibrary, selectedHandler] = selectedEventHandler(
        solutionControl, Conflux_Control_t / User_Defined_DLL_Properties_t / Event_Handler_t);

    Attribute* list = m_root->findAttribute(UserDefinedDLLList_t, false);
    if (!list || !list->isListAttribute())
        return;
    if (list->intVal() == 0)
        throw std::runtime_error("Error : No User-Defined DLL connected to the project");

    for (Entity* library : static_cast<LinkAttribute*>(list)->getTargets())
    {
        const std::string name = library->getName();
        LinkerUserDefinedDLL::Files files;
        const Attribute* windowsFile =
            library->findAttribute(Windows_Library_t / Dynamic_Link_Library_File_t);
        if (windowsFile && windowsFile->isFilenameAttribute() && !windowsFile->getValue().empty())
            files[Utilities::OperatingSystem::Windows] = windowsFile->getValue();
        const Attribute* linuxFile = library->findAttribute(Linux_Library_t / Shared_Object_File_t);
        if (linuxFile && linuxFile->isFilenameAttribute() && !linuxFile->isHidden() &&
            !linuxFile->getValue().empty())
            files[Utilities::OperatingSystem::Linux] = linuxFile->getValue();
        if (files.empty())
            throw std::runtime_error("Error : No Library specified.");

        control.getLinkers().addLinker(std::make_unique<LinkerUserDefinedDLL>(name, std::move(files)));
        if (name == selectedLibrary)
            control.addEventHandler(selectedLibrary, selectedHandler);
    }
}

void ConfluxGenerator::updateProject_Python(CFDSolver::Project* project)
{
    CFDSolver::ConfluxCntrl& control = *project->GetConfluxCntrl();
    Entity* solutionControl = EntityFetcher::getSolutionControl(m_root);
    const auto [selectedLibrary, selectedHandler] = selectedEventHandler(
        solutionControl, Conflux_Control_t / Python_Module_Properties_t / Event_Handler_t);
    if (!m_root)
        return;

    const std::vector<Entity*> modules = getLinkedEntities(m_root, PythonModulesList_t);
    if (modules.empty())
        throw std::runtime_error("Error : No Python Modules defined in the project");

    for (Entity* module : modules)
    {
        if (!module)
            continue;
        const std::string name = module->getName();
        std::string source;
        if (!hasAttributeSetTo(module, Source_t, File_t))
        {
            source = getStringValue(module, Python_Script_t, "");
            if (source.empty())
                throw std::runtime_error("Empty Python Script defined in : " + name);
        }
        else
        {
            const std::string path = getStringValue(module, Python_File_t, "");
            source = readPythonSourceFile(path);
            if (source.empty())
                throw std::runtime_error("Empty Python Script defined in : " + name + "\nfile : " + path);
        }

        control.getLinkers().addLinker(std::make_unique<LinkerPythonModule>(name, std::move(source)));
        if (name == selectedLibrary)
            control.addEventHandler(selectedLibrary, selectedHandler);
    }
}

void ConfluxGenerator::updateProject_AI(CFDSolver::Project* project, bool aiPython)
{
    CFDSolver::ConfluxCntrl& control = *project->GetConfluxCntrl();
    Entity* solutionControl = EntityFetcher::getSolutionControl(m_root);

    AIEventHandlerOptions options;
    const Attribute* updateMode = solutionControl->findAttribute(AI_Model_Control_t / Update_Mode_t);
    if (updateMode && !updateMode->isHidden() && *updateMode == Each_Time_Step_t)
        options.updateMode = 20;
    else
    {
        if (const Attribute* interval =
                solutionControl->findAttribute(AI_Model_Control_t / Update_Iteration_Interval_t))
            options.updateIterationInterval = interval->intVal();
        if (const Attribute* start =
                solutionControl->findAttribute(AI_Model_Control_t / Update_Start_Iteration_t))
            options.updateStartIteration = start->intVal();
    }

    LinkerAbstract* linker = nullptr;
    if (aiPython)
        linker = control.getLinkers().addLinker(std::make_unique<LinkerAIPythonEventHandler>(options));
    else
        linker = control.getLinkers().addLinker(std::make_unique<LinkerAIEventHandler>(options));
    registerEventHandler(control, *linker, LinkerAIEventHandler::getEventHandler());
}
} // namespace Conflux
