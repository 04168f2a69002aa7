#include "host/solver/SolveTimeLinkers.h"

#include "host/scripting/PythonCoreInterpreter.h"
#include "host/solver/AIFunctorHandler.h"
#include "host/solver/ExchangeSession.h"
#include "host/solver/FileParserHandler.h"
#include "host/solver/LinkerAIEventHandler.h"
#include "host/solver/LinkerCSVEventHandler.h"
#include "host/solver/LinkerCollection.h"
#include "host/solver/LinkerPythonModule.h"
#include "host/solver/LinkerUserDefinedDLL.h"
#include "host/solver/PythonModuleHandler.h"
#include "host/solver/UserLibraryHandler.h"

#include <map>
#include <stdexcept>

namespace CFDSolver
{
namespace
{
/// The trivial linker's handler: the solve calls it and it does nothing.
class TrivialHandler : public SolveTimeHandler
{
public:
    explicit TrivialHandler(std::string name) : m_name(std::move(name)) {}
    const std::string& controller() const override { return m_name; }
    void call(TesseraSDK::EventType, ExchangeSession&) override {}

private:
    std::string m_name;
};

/// The linker a handler names: modules and user libraries by their own name, the solver's
/// libraries by their library file.
const Conflux::LinkerAbstract* findLinker(const Conflux::LinkerCollection& linkers, const ConfluxEventHandler& handler)
{
    for (const Conflux::LinkerContainer& linker : linkers)
    {
        switch (linker->getType())
        {
        case Conflux::LinkerType::PythonModule:
        case Conflux::LinkerType::UserDefinedDLL:
            if (linker->getName() == handler.library)
                return linker.get();
            break;
        case Conflux::LinkerType::None:
        case Conflux::LinkerType::TrivialEventHandler:
        case Conflux::LinkerType::CSVEventHandler:
        case Conflux::LinkerType::AIEventHandler:
        case Conflux::LinkerType::AIPythonEventHandler:
            if (linker->getLibraryName(Utilities::OperatingSystem::Windows) == handler.library)
                return linker.get();
            break;
        }
    }
    return nullptr;
}

ScriptingSystem::PythonModule importModule(const Conflux::LinkerPythonModule& linker)
{
    ScriptingSystem::PythonCoreInterpreter interpreter;
    try
    {
        const auto code = interpreter.compileExec(linker.getSource(), linker.getName() + ".py");
        return interpreter.importCodeModule(linker.getName(), code);
    }
    catch (const std::runtime_error& error)
    {
        throw std::runtime_error("Python module '" + linker.getName() + "' cannot be loaded: " + error.what());
    }
}
} // namespace

std::vector<std::shared_ptr<SolveTimeHandler>> startHandlers(const Conflux::LinkerCollection& linkers,
                                                             const std::vector<ConfluxEventHandler>& handlers)
{
    std::vector<std::shared_ptr<SolveTimeHandler>> running;
    std::map<std::string, ScriptingSystem::PythonModule> modules;
    for (const ConfluxEventHandler& handler : handlers)
    {
        const Conflux::LinkerAbstract* linker = findLinker(linkers, handler);
        if (linker == nullptr)
            throw std::runtime_error("Event handler '" + handler.handler + "': the exchange has no controller named '" +
                                     handler.library + "'");
        switch (linker->getType())
        {
        case Conflux::LinkerType::TrivialEventHandler:
            running.push_back(std::make_shared<TrivialHandler>(handler.library));
            break;
        case Conflux::LinkerType::PythonModule:
        {
            const auto& module = static_cast<const Conflux::LinkerPythonModule&>(*linker);
            auto imported = modules.find(module.getName());
            if (imported == modules.end())
                imported = modules.emplace(module.getName(), importModule(module)).first;
            auto function = imported->second.findFunction(handler.handler);
            if (!function)
                throw std::runtime_error("Python module '" + module.getName() + "' has no function '" +
                                         handler.handler + "'");
            running.push_back(std::make_shared<PythonModuleHandler>(module.getName(), std::move(*function)));
            break;
        }
        case Conflux::LinkerType::AIEventHandler:
        case Conflux::LinkerType::AIPythonEventHandler:
            if (const auto* ai = dynamic_cast<const Conflux::LinkerAIEventHandler*>(linker))
            {
                running.push_back(std::make_shared<AIFunctorHandler>(ai->getOptions()));
                break;
            }
            throw std::runtime_error("Event handler '" + handler.handler + "' of '" + handler.library +
                                     "': the AI linker carries no AI models");
        case Conflux::LinkerType::UserDefinedDLL:
            running.push_back(std::make_shared<UserLibraryHandler>(
                static_cast<const Conflux::LinkerUserDefinedDLL&>(*linker), handler.handler));
            break;
        case Conflux::LinkerType::CSVEventHandler:
            running.push_back(std::make_shared<FileParserHandler>(
                static_cast<const Conflux::LinkerCSVEventHandler&>(*linker).getOptions()));
            break;
        case Conflux::LinkerType::None:
            throw std::runtime_error("Event handler '" + handler.handler + "' of '" + handler.library + "': " +
                                     Conflux::linkerTypeToString(linker->getType()) +
                                     " controllers are not run by this solver");
        }
    }
    return running;
}
} // namespace CFDSolver
