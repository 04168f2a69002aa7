#include "src/dryrun/DryRun.h"

#include "src/dryrun/DryRunLog.h"
#include "src/dryrun/SolverValues.h"
#include "src/exchange/ConfluxGenerator.h"

#include "host/entitymodel/Attribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/TypeRef.h"
#include "host/services/ToolProgress.h"
#include "host/solver/ConfluxCntrl.h"
#include "host/solver/ExchangeSession.h"
#include "host/solver/LinkerCSVEventHandler.h"
#include "host/solver/Project.h"

#include "src/model/Attribute.h"

#include <QProcess>
#include <QStringList>

#include <charconv>
#include <chrono>
#include <cmath>
#include <unordered_map>
#include <utility>

namespace Conflux
{
namespace
{
const char* const solverSide = "solver";

std::string numberText(double value)
{
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

EntityModel::TypeRef modeLabel(LinkerType mode)
{
    switch (mode)
    {
    case LinkerType::CSVEventHandler:
        return EntityModel::FileParser_t;
    case LinkerType::UserDefinedDLL:
        return EntityModel::User_Defined_DLL_t;
    case LinkerType::PythonModule:
        return EntityModel::Python_Module_t;
    case LinkerType::None:
    case LinkerType::TrivialEventHandler:
    case LinkerType::AIEventHandler:
    case LinkerType::AIPythonEventHandler:
        break;
    }
    throw DryRunInputError("A dry run tries the file parser, a user-defined library or a Python module, not " +
                           linkerTypeToString(mode));
}

/// Selects another controller on the solution control for the run and puts the project's choice
/// back however the run ends.
class ModeOverride
{
public:
    ModeOverride(EntityModel::Entity* root, std::optional<LinkerType> mode)
    {
        if (!mode)
            return;
        m_solutionControl = EntityModel::EntityFetcher::getSolutionControl(root);
        if (m_solutionControl == nullptr)
            throw DryRunInputError("The project has no solution control, so no exchange to run");
        m_previous = EntityModel::getTypeValue(m_solutionControl, EntityModel::Conflux_Control_t / EntityModel::Mode_t);
        set(modeLabel(*mode));
    }
    ~ModeOverride()
    {
        if (m_solutionControl != nullptr)
            set(m_previous);
    }
    ModeOverride(const ModeOverride&) = delete;
    ModeOverride& operator=(const ModeOverride&) = delete;

private:
    void set(EntityModel::TypeRef mode)
    {
        EntityModel::EntityEditor::setValueNoThrow(m_solutionControl, EntityModel::Conflux_Control_t / EntityModel::Mode_t,
                                                   mode, false);
        EntityModel::EntityEditor::clearAttributeCaches();
    }

    EntityModel::Entity* m_solutionControl = nullptr;
    EntityModel::TypeRef m_previous;
};
/// An outside controller's process: started with the exchange directory as its last argument,
/// told to stop by the end of the solve (the state file says so) and ended if it does not.
class ControllerProcess
{
public:
    ControllerProcess(const std::vector<std::string>& command, const std::string& directory)
    {
        QStringList arguments;
        for (std::size_t i = 1; i < command.size(); ++i)
            arguments << QString::fromStdString(command[i]);
        arguments << QString::fromStdString(directory);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(QString::fromStdString(command.front()), arguments);
        if (!m_process.waitForStarted(10000))
            throw DryRunInputError("Cannot start the controller '" + command.front() +
                                   "': " + m_process.errorString().toStdString());
    }
    ~ControllerProcess()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        if (!m_process.waitForFinished(2000))
        {
            m_process.terminate();
            if (!m_process.waitForFinished(2000))
            {
                m_process.kill();
                m_process.waitForFinished(2000);
            }
        }
    }
    ControllerProcess(const ControllerProcess&) = delete;
    ControllerProcess& operator=(const ControllerProcess&) = delete;

private:
    QProcess m_process;
};

/// The exchange directory of the control's file parser; empty when it has none.
std::string exchangeDirectory(const CFDSolver::ConfluxCntrl& control)
{
    for (const LinkerContainer& linker : control.getLinkers())
        if (const auto* parser = dynamic_cast<const LinkerCSVEventHandler*>(linker.get()))
            return parser->getOptions().directory;
    return {};
}
} // namespace

/// The solve the controllers see: the iteration under way, the model's values and bounds, and the
/// summary and log that record what they do.
class DryRun::Session : public CFDSolver::ExchangeSession
{
public:
    Session(const Model::EntityCollection& model, const ConfluxGenerator::AttributeMap& attributes,
            DryRunSummary& summary)
        : m_values(model), m_summary(summary)
    {
        for (const auto& [host, exchange] : attributes)
            m_hostOf.emplace(exchange, host);
    }

    void setIteration(int iteration)
    {
        m_iteration = iteration;
        m_writers.clear();
    }
    int iteration() const override { return m_iteration; }
    const CFDSolver::ExchangeValues& values() const override { return m_values; }

    void checkRange(const CFDSolver::ExchangeValues::Value& value, double number) const override
    {
        if (!std::isfinite(number))
            throw std::runtime_error(numberText(number) + " is not a finite number");
        const auto host = m_hostOf.find(value.attribute);
        if (host == m_hostOf.end())
            return;
        if (const auto minimum = host->second->getMinimum(); minimum && number < *minimum)
            throw std::runtime_error(numberText(number) + " is below the minimum " + numberText(*minimum));
        if (const auto maximum = host->second->getMaximum(); maximum && number > *maximum)
            throw std::runtime_error(numberText(number) + " is above the maximum " + numberText(*maximum));
    }

    void valuesRead(const std::string& controller, std::size_t count) override
    {
        m_summary.controllers[controller].reads += count;
    }
    void valueWritten(const std::string& controller, const CFDSolver::ExchangeValues::Value& value) override
    {
        m_summary.controllers[controller].writes += 1;
        m_writers[value.attribute] = controller;
    }
    void writeRefused(const std::string& controller, const std::string& path, const std::string& reason) override
    {
        (void)controller;
        ++m_summary.refusedWrites[{path, reason}];
    }

    /// Who wrote each value in the iteration under way.
    const std::unordered_map<const Model::Attribute*, std::string>& writers() const { return m_writers; }

private:
    CFDSolver::ExchangeValues m_values;
    DryRunSummary& m_summary;
    std::unordered_map<const Model::Attribute*, EntityModel::Attribute*> m_hostOf;
    std::unordered_map<const Model::Attribute*, std::string> m_writers;
    int m_iteration = 0;
};

DryRun::DryRun(EntityModel::Entity* root, DryRunOptions options) : m_root(root), m_options(std::move(options)) {}

DryRun::~DryRun() = default;

DryRunSummary DryRun::run(Tools::ToolProgress* progress)
{
    if (m_root == nullptr)
        throw DryRunInputError("No project to run");
    if (m_options.iterations < 1)
        throw DryRunInputError("A dry run needs at least one iteration, not " + std::to_string(m_options.iterations));
    if (!m_options.traceFile.empty() && !m_options.plantFile.empty())
        throw DryRunInputError("The solver's values come from a trace or from a plant, not both");

    DryRunSummary summary;
    const ModeOverride mode(m_root, m_options.mode);
    CFDSolver::Project project(m_options.storeDirectory, m_options.projectName, std::string());
    ConfluxGenerator generator;
    generator.setRootEntity(m_root);
    ConfluxGenerator::AttributeMap attributes;
    try
    {
        generator.updateProject(&project);
        auto generated = generator.generate(&project, CFDSolver::SolutionType::SteadyState);
        if (!generated.first)
            throw DryRunInputError("The exchange generation failed: the project has no solution control");
        attributes = std::move(generated.second);
    }
    catch (const DryRunInputError&)
    {
        throw;
    }
    catch (const std::exception& error)
    {
        throw DryRunInputError(std::string("The exchange generation failed: ") + error.what());
    }
    catch (const char* text)
    {
        throw DryRunInputError(std::string("The exchange generation failed: ") + (text ? text : "unknown error"));
    }
    CFDSolver::ConfluxCntrl& control = *project.GetConfluxCntrl();
    if (!control.isActive())
        throw DryRunInputError("The project's exchange is off and no AI model is active: there is nothing to run");

    Session session(control.getModelCollection(), attributes, summary);
    const std::unique_ptr<SolverValues> solver =
        SolverValues::create(m_options.traceFile, m_options.plantFile, m_options.iterations, session.values());
    std::unique_ptr<DryRunLog> log;
    if (!m_options.logFile.empty())
        log = std::make_unique<DryRunLog>(m_options.logFile, session.values(), solver->paths());
    for (const std::string& path : m_options.recordedPaths)
        if (session.values().find(path) == nullptr)
            throw DryRunInputError("'" + path + "' is no value of the exchange model");

    const std::string directory = exchangeDirectory(control);
    if (!m_options.controllerCommand.empty() && directory.empty())
        throw DryRunInputError("An outside controller trades files with the file parser, which this run does not use");

    control.attachSession(&session);
    try
    {
        control.initialize();
    }
    catch (const std::exception& error)
    {
        control.attachSession(nullptr);
        throw DryRunInputError(error.what());
    }
    std::unique_ptr<ControllerProcess> outside;
    if (!m_options.controllerCommand.empty())
    {
        try
        {
            outside = std::make_unique<ControllerProcess>(m_options.controllerCommand, directory);
        }
        catch (const DryRunInputError&)
        {
            control.terminate();
            control.attachSession(nullptr);
            throw;
        }
    }

    const auto fail = [&summary](const std::string& text)
    {
        if (summary.firstFailure.empty())
            summary.firstFailure = text;
    };
    try
    {
        control.triggerDLLEvent(TesseraSDK::EventType::CFDGeneration, true);
    }
    catch (const std::exception& error)
    {
        fail(error.what());
    }

    const auto started = std::chrono::steady_clock::now();
    for (int iteration = 1; iteration <= m_options.iterations && summary.firstFailure.empty(); ++iteration)
    {
        session.setIteration(iteration);
        try
        {
            for (const CFDSolver::ExchangeValues::Value* value : solver->apply(iteration, session.values()))
                session.valueWritten(solverSide, *value);
            control.triggerDLLEvent(TesseraSDK::EventType::Iteration, true);
        }
        catch (const std::exception& error)
        {
            fail(error.what());
        }
        summary.iterationsRun = iteration;
        if (log)
            log->writeRow(iteration, session.writers());
        for (const std::string& path : m_options.recordedPaths)
        {
            const CFDSolver::ExchangeValues::Value* value = session.values().find(path);
            const CFDSolver::ExchangeScalar current = CFDSolver::ExchangeValues::read(*value->attribute, false);
            double number = std::nan("");
            if (const double* real = std::get_if<double>(&current))
                number = *real;
            else if (const int* whole = std::get_if<int>(&current))
                number = *whole;
            else if (const bool* flag = std::get_if<bool>(&current))
                number = *flag ? 1 : 0;
            summary.recorded[path].push_back(number);
        }
        if (progress)
        {
            progress->setProgress(iteration * Tools::ToolProgress::MaximumPosition / m_options.iterations);
            if (progress->isCancelled() && iteration < m_options.iterations)
            {
                summary.stopped = true;
                break;
            }
        }
    }

    summary.secondsIterating = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    session.setIteration(summary.iterationsRun);
    try
    {
        control.triggerDLLEvent(TesseraSDK::EventType::SolveEnd, true);
    }
    catch (const std::exception& error)
    {
        fail(error.what());
    }
    control.terminate();
    control.attachSession(nullptr);
    outside.reset();
    return summary;
}
} // namespace Conflux
