#include "src/checks/ConfluxChecker.h"

#include "src/model/Entity.h"
#include "src/model/builders/EntityTreeBuilder.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/InstallationSettings.h"
#include "host/filesystem/File.h"
#include "host/filesystem/OperatingSystem.h"
#include "host/scripting/PythonCoreInterpreter.h"
#include "host/solver/LinkerValidator.h"
#include "src/exchange/PythonSourceFile.h"

#include <iterator>
#include <map>
#include <stdexcept>

using namespace EntityModel;

namespace Conflux
{
namespace
{
/// The label of an entity's type, which opens every error text of the checker.
std::string typeLabel(const Entity* entity)
{
    return entity->getType().getLabel();
}

/// The Linux library file. "Shared Library Path" is the file the application settles on; where
/// nothing has derived it, the chosen shared object is taken, unless the Linux library is off.
std::string linuxLibraryFile(const Entity* entity)
{
    std::string file = getStringValue(entity, Linux_Library_t / Shared_Library_Path_t, "");
    if (file.empty() && getBoolValue(entity, "Linux Library.Enabled", true))
        file = getStringValue(entity, Linux_Library_t / Shared_Object_File_t, "");
    return file;
}
} // namespace

ConfluxChecker::ConfluxChecker() = default;
ConfluxChecker::~ConfluxChecker() = default;
ConfluxChecker::ConfluxChecker(ConfluxChecker&&) noexcept = default;
ConfluxChecker& ConfluxChecker::operator=(ConfluxChecker&&) noexcept = default;

void ConfluxChecker::checkFlowNetworkOnlyEntities(std::set<Entity*>&, std::vector<EntityError>&) {}

void ConfluxChecker::checkEntities(std::set<Entity*>& entities, std::vector<EntityError>& errors)
{
    std::vector<Entity*> candidates;
    for (Entity* entity : entities)
    {
        if (entity == nullptr)
            continue;
        if (isEntityToCheck(entity))
            candidates.push_back(entity);
        else
            entity->getOwnedChildEntities(candidates, true, true, &ConfluxChecker::isEntityToCheck, true);
    }
    std::set<Entity*> checked;
    for (Entity* candidate : candidates)
        if (checked.insert(candidate).second)
            checkConflux(candidate, errors);
    checkExchangeModel(entities, errors);
}

void ConfluxChecker::checkExchangeModel(const std::set<Entity*>& entities,
                                        std::vector<EntityError>& errors) const
{
    Entity* root = m_root;
    for (auto it = entities.begin(); !root && it != entities.end(); ++it)
        if (*it)
            root = (*it)->getRootEntity();
    if (!root)
        return;
    auto concerned = [&entities](Entity* entity)
    {
        for (Entity* e = entity; e; e = e->getOwnerEntity())
            if (entities.count(e))
                return true;
        return false;
    };

    Model::EntityTreeReport report;
    try
    {
        Entity* solutionControl = EntityFetcher::getSolutionControl(root);
        const bool forceDouble =
            solutionControl &&
            getBoolValue(solutionControl, Conflux_Control_t / AttributePath("Force Double Attributes"),
                         false);
        Model::EntityTreeBuilder::create(root, Model::AccessType::ReadWrite, true, forceDouble, report);
    }
    catch (const std::exception& error)
    {
        if (concerned(root))
            errors.emplace_back(root, typeLabel(root) + " - " + error.what(), "");
        return;
    }
    for (const auto& unresolved : report.unresolvedShortcuts)
    {
        Entity* entity = unresolved.entity ? unresolved.entity : root;
        if (concerned(entity))
            errors.emplace_back(entity,
                                typeLabel(entity) + " - Shortcut '" + unresolved.shortcut +
                                    "' cannot reach its target '" + unresolved.target + "'",
                                "");
    }
}

void ConfluxChecker::setRootEntity(Entity* root)
{
    m_root = root;
}

std::string ConfluxChecker::getLabel() const
{
    return "Conflux Controller Errors";
}

bool ConfluxChecker::isEntityToCheck(Entity* entity)
{
    if (entity == nullptr)
        return false;
    const TypeRef type = entity->getTypeRef();
    return type == User_Defined_DLL_t || type == Python_Module_t;
}

void ConfluxChecker::checkConflux(Entity* entity, std::vector<EntityError>& errors)
{
    if (entity == nullptr)
        return;
    try
    {
        const TypeRef type = entity->getTypeRef();
        if (type == User_Defined_DLL_t)
            checkConfluxUserDefinedDLL(entity);
        else if (type == Python_Module_t)
            checkConfluxPython(entity);
    }
    catch (const std::exception& error)
    {
        errors.emplace_back(entity, typeLabel(entity) + " - " + error.what(), "");
    }
    catch (...)
    {
        errors.emplace_back(entity, typeLabel(entity) + " - Unknonw Error", "");
    }
}

void ConfluxChecker::checkConfluxUserDefinedDLL(Entity* entity)
{
    // A refused linker kind throws; the answer itself is the generator's business.
    LinkerValidator(InstallationSettings::current().confluxAccessRights())
        .validate(LinkerType::UserDefinedDLL, false);

    std::map<Utilities::OperatingSystem, std::string> files;
    files[Utilities::OperatingSystem::Windows] =
        getStringValue(entity, Windows_Library_t / Dynamic_Link_Library_File_t, "");
    files[Utilities::OperatingSystem::Linux] = linuxLibraryFile(entity);

    const std::string& file = files[Utilities::currentOperatingSystem()];
    if (file.empty())
        throw std::runtime_error("No library selected specified for current platform");
    if (!FileSystem::File::exists(file))
        throw std::runtime_error("Unable to access - " + file);
}

void ConfluxChecker::checkConfluxPython(Entity* entity)
{
    LinkerValidator(InstallationSettings::current().confluxAccessRights())
        .validate(LinkerType::PythonModule, false);

    const TypeRef source = getTypeValue(entity, Source_t, TypeRef());
    if (source == File_t)
        checkConfluxPythonScript(entity, readPythonSourceFile(getStringValue(entity, Python_File_t, "")));
    else if (source == Script_t)
        checkConfluxPythonScript(entity, getStringValue(entity, Python_Script_t, ""));
}

void ConfluxChecker::checkConfluxPythonScript(Entity* entity, const std::string& source)
{
    if (!m_interpreter)
        m_interpreter = std::make_unique<ScriptingSystem::PythonCoreInterpreter>();
    // The module is imported under its entity's name: that name must not hide a module that the
    // controller or its imports expect to find.
    const std::string kind = m_interpreter->importableModuleKind(entity->getName());
    if (!kind.empty())
        throw std::runtime_error("The module name \"" + entity->getName() + "\" would shadow the " + kind +
                                 " Python module of that name");
    const ScriptingSystem::PythonValue code = m_interpreter->compileExec(source, "<string>");
    const ScriptingSystem::PythonModule module = m_interpreter->importCodeModule(entity->getName(), code);
    for (Entity* handler : getLinkedEntities(entity, Event_Handlers_t))
        if (handler != nullptr && !module.findFunction(handler->getName()))
            throw std::runtime_error("Missing function definition for : " + handler->getName());
}
} // namespace Conflux
