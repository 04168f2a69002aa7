#include "src/exchange/ConfluxGenerator.h"

#include "src/ai/definition/AIFunctorBuilder.h"
#include "src/exchange/XMLDocGenerator.h"
#include "src/model/EntityCollection.h"
#include "src/model/LogManager.h"
#include "src/model/builders/EntityTreeBuilder.h"

#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/InstallationSettings.h"
#include "host/entitymodel/TypeRef.h"
#include "host/services/ToolProgress.h"
#include "host/solver/ConfluxCntrl.h"
#include "host/solver/LinkerAIEventHandler.h"
#include "host/solver/LinkerValidator.h"
#include "host/solver/Project.h"

#include <QString>

#include <filesystem>

using namespace EntityModel;

namespace Conflux
{
namespace
{
const AttributePath timeVaryingPath = Transient_t / Time_Varying_t;

/// Forces the solution control's time-varying flag on for the tree build of a time-varying
/// solve and puts the user's value back however the build ends, so a failed run leaves the
/// project as it was.
class TimeVaryingOverride
{
public:
    TimeVaryingOverride(Entity* solutionControl, CFDSolver::SolutionType solutionType)
        : m_solutionControl(solutionControl), m_active(CFDSolver::isTimeVarying(solutionType)),
          m_flag(getBoolValue(solutionControl, timeVaryingPath, false))
    {
        if (m_active && !m_flag)
        {
            EntityEditor::setValueNoThrow(m_solutionControl, timeVaryingPath, true, false);
            EntityEditor::clearAttributeCaches();
        }
    }
    ~TimeVaryingOverride()
    {
        if (m_active)
        {
            EntityEditor::setValueNoThrow(m_solutionControl, timeVaryingPath, m_flag, false);
            EntityEditor::clearAttributeCaches();
        }
    }
    TimeVaryingOverride(const TimeVaryingOverride&) = delete;
    TimeVaryingOverride& operator=(const TimeVaryingOverride&) = delete;

private:
    Entity* m_solutionControl;
    bool m_active;
    bool m_flag;
};

bool isPythonLinker(LinkerType type)
{
    return type == LinkerType::PythonModule || type == LinkerType::AIPythonEventHandler;
}

bool isAILinker(LinkerType type)
{
    return type == LinkerType::AIEventHandler || type == LinkerType::AIPythonEventHandler;
}

/// Turns the advance of each long step into progress positions: each step owns a share of the
/// bar, and a position is posted only when it changes.
class StepProgress
{
public:
    explicit StepProgress(Tools::ToolProgress* progress) : m_progress(progress) {}

    /// `done` of `total` within the step spanning [from, to].
    void within(int from, int to, std::size_t done, std::size_t total)
    {
        const double share = total == 0 ? 1.0 : std::min(1.0, double(done) / double(total));
        at(from + static_cast<int>(share * (to - from)));
    }
    void at(int position)
    {
        if (m_progress && position != m_position)
        {
            m_position = position;
            m_progress->setProgress(position);
        }
    }

private:
    Tools::ToolProgress* m_progress;
    int m_position = 0;
};

// The share of the bar each step gets, after its measured share of a large generation.
constexpr int treeEnds = 45, documentEnds = 90, functorsEnd = 95, controlEnds = 100;

/// Removes the staged document however generation ends; once the control is written it has
/// already been moved into place and there is nothing left to remove.
class StagedDocumentCleanup
{
public:
    explicit StagedDocumentCleanup(std::string path) : m_path(std::move(path)) {}
    ~StagedDocumentCleanup()
    {
        std::error_code ignored;
        std::filesystem::remove(std::filesystem::path(std::u8string(m_path.begin(), m_path.end())), ignored);
    }
    StagedDocumentCleanup(const StagedDocumentCleanup&) = delete;
    StagedDocumentCleanup& operator=(const StagedDocumentCleanup&) = delete;

private:
    std::string m_path;
};

/// One line per shortcut target that leads nowhere, naming the shortcut, its entity and the target.
std::string unresolvedText(const std::vector<Model::EntityTreeReport::Unresolved>& unresolved)
{
    std::string text;
    for (const auto& item : unresolved)
    {
        if (!text.empty())
            text += '\n';
        text += "Shortcut '" + item.shortcut + "'";
        if (item.entity)
            text += " of entity '" + item.entity->getName() + "'";
        text += " cannot reach its target '" + item.target + "': no such node in the exchange model";
    }
    return text;
}
} // namespace

bool ConfluxGenerator::isActive(bool includeAIModels) const
{
    if (!m_root)
        return false;
    if (EntityFetcher::isConflux(m_root))
        return true;
    return includeAIModels && EntityFetcher::isAIModelActive(m_root);
}

bool ConfluxGenerator::isAIModelActive() const
{
    return m_root && EntityFetcher::isAIModelActive(m_root);
}

bool ConfluxGenerator::hasAIPythonModel() const
{
    if (!isAIModelActive())
        return false;
    std::vector<Entity*> entities;
    m_root->getOwnedChildEntities(
        entities, true, true, [](Entity*) { return true; }, true);
    for (Entity* entity : entities)
        if (AIFunctorBuilder::isAIModelInUse(entity) && hasAttributeSetTo(entity, Model_Type_t, Python_t))
            return true;
    return false;
}

LinkerType ConfluxGenerator::getLinkerType(Entity* solutionControl)
{
    const TypeRef mode = getTypeValue(solutionControl, Conflux_Control_t / Mode_t, TypeRef());
    if (mode == FileParser_t || mode == Default_t)
        return LinkerType::CSVEventHandler;
    if (mode == User_Defined_DLL_t)
        return LinkerType::UserDefinedDLL;
    if (mode == Trivial_t)
        return LinkerType::TrivialEventHandler;
    if (mode == Python_Module_t)
        return LinkerType::PythonModule;
    return LinkerType::None;
}

void ConfluxGenerator::updateProject(CFDSolver::Project* project)
{
    if (!m_root || !project || !project->GetConfluxCntrl())
        return;
    CFDSolver::ConfluxCntrl& control = *project->GetConfluxCntrl();
    Entity* solutionControl = EntityFetcher::getSolutionControl(m_root);

    const bool exchangeOn = EntityFetcher::isConflux(m_root);
    const bool aiOn = EntityFetcher::isAIModelActive(m_root);
    control.active(exchangeOn || aiOn);
    if (!control.isActive())
        return;

    const bool aiPython = hasAIPythonModel();
    control.pythonRequired(aiPython);

    const auto rights = InstallationSettings::current().confluxAccessRights();
    control.getLinkers().clear();
    control.clearEventHandlers();
    const LinkerValidator validator(rights);

    if (aiOn)
    {
        validator.validate(aiPython ? LinkerType::AIPythonEventHandler : LinkerType::AIEventHandler, false);
        updateProject_AI(project, aiPython);
    }

    if (exchangeOn)
    {
        const TypeRef version = getTypeValue(solutionControl, Conflux_Control_t / Version_t, TypeRef());
        if (version != Latest_t && version != Version_2_t)
            throw std::runtime_error("Unsupported version");

        const LinkerType type = getLinkerType(solutionControl);
        validator.validate(type, false);
        switch (type)
        {
        case LinkerType::TrivialEventHandler:
            updateProject_Trivial(project);
            break;
        case LinkerType::CSVEventHandler:
            updateProject_FileParser(project);
            break;
        case LinkerType::UserDefinedDLL:
            updateProject_UserDefinedDLL(project);
            break;
        case LinkerType::PythonModule:
            control.pythonRequired(true);
            updateProject_Python(project);
            break;
        case LinkerType::None:
        case LinkerType::AIEventHandler:
        case LinkerType::AIPythonEventHandler:
            throw std::runtime_error("Unsupported Conflux Mode");
        }
    }

    control.setTriggerOnCFDgenerationEvents(
        getBoolValue(solutionControl, Conflux_Control_t / Enable_CFD_Generation_Events_t, false));
}

std::pair<bool, ConfluxGenerator::AttributeMap>
ConfluxGenerator::generate(CFDSolver::Project* project, CFDSolver::SolutionType solutionType)
{
    Entity* solutionControl = m_root ? EntityFetcher::getSolutionControl(m_root) : nullptr;
    if (!project || !solutionControl || !project->GetConfluxCntrl())
        return {false, {}};
    CFDSolver::ConfluxCntrl& control = *project->GetConfluxCntrl();

    const TimeVaryingOverride timeVarying(solutionControl, solutionType);
    const bool forceDouble =
        getBoolValue(solutionControl, Conflux_Control_t / AttributePath("Force Double Attributes"), false);

    // A new exchange model: the controllers' writes are recorded afresh.
    LogManager::instance().beginGeneration();
    StepProgress progress(m_progress);
    Model::EntityTreeReport report;
    report.progress = [&progress](std::size_t done, std::size_t total)
    { progress.within(0, treeEnds, done, total); };
    auto [modelRoot, attributeMap] =
        Model::EntityTreeBuilder::create(m_root, Model::AccessType::ReadWrite, true, forceDouble, report);
    // Wiring that leads nowhere would only show as a failing controller during the solve.
    if (!report.unresolvedShortcuts.empty())
        throw std::runtime_error(unresolvedText(report.unresolvedShortcuts));

    // The document waits beside the store's files until the control is written with its stamp, so
    // that a run that stops half-way leaves the earlier pair as it was.
    const ProjectData::ProjectStore& store = project->GetProjectStore();
    const std::string staged = CFDSolver::ConfluxCntrl::stagedDocument(store);
    const StagedDocumentCleanup cleanup(staged);
    std::string stamp;
    if (modelRoot)
    {
        const std::size_t expected = attributeMap.size();
        QString error;
        if (!XMLDocGenerator::writeFile(*modelRoot, QString::fromStdString(staged), &error, &stamp,
                                        [&progress, expected](std::size_t written)
                                        { progress.within(treeEnds, documentEnds, written, expected); }))
            throw std::runtime_error(error.toStdString());
    }
    control.setDocumentStamp(stamp);
    progress.at(documentEnds);

    control.getModelCollection() = Model::EntityCollection(std::move(modelRoot));

    std::vector<LinkerAIEventHandler*> aiLinkers;
    for (const auto& linker : control.getLinkers())
    {
        if (!control.pythonRequired() && isPythonLinker(linker->getType()))
            control.pythonRequired(true);
        if (isAILinker(linker->getType()))
            aiLinkers.push_back(static_cast<LinkerAIEventHandler*>(linker.get()));
    }

    if (!aiLinkers.empty())
    {
        auto [functors, definitions] = AIFunctorBuilder::create(m_root, attributeMap);
        for (LinkerAIEventHandler* linker : aiLinkers)
        {
            linker->setFunctors(functors);
            linker->setDefinitions(definitions);
            if (!control.pythonRequired() && definitions.hasPython())
                control.pythonRequired(true);
        }
    }
    progress.at(functorsEnd);

    control.Write(store);
    progress.at(controlEnds);
    return {true, std::move(attributeMap)};
}

bool ConfluxGenerator::processEvents(CFDSolver::Project* project)
{
    if (!project || !project->GetConfluxCntrl())
        return false;
    CFDSolver::ConfluxCntrl& control = *project->GetConfluxCntrl();
    control.initialize();
    try
    {
        control.triggerDLLEvent(TesseraSDK::EventType::CFDGeneration, true);
    }
    catch (...)
    {
        control.terminate();
        throw;
    }
    control.terminate();
    return false;
}

void ConfluxGenerator::reportError(const std::string& text) const
{
    if (m_progress)
        m_progress->error(text);
}
} // namespace Conflux
