#pragma once
#include "host/entitymodel/Checker.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace EntityModel
{
class Entity;
}

namespace ScriptingSystem
{
class PythonCoreInterpreter;
}

namespace Conflux
{
/// The checker of the exchange's outside controllers: every user-defined library entity must name
/// a library file that exists for the platform the program runs on, and every Python module must
/// compile, import and define each event handler function its entity lists. Each failure becomes
/// one EntityError on that entity ("<type label> - <problem>"); the project is never edited.
/// It also builds the project's exchange model, as generation would, and records each shortcut
/// whose target leads nowhere (on the entity holding the shortcut) and each failure of the build
/// (on the project root), for the entities of the set and those they own.
///
/// The embedded interpreter is made by the first Python check and kept for the checker's life, so
/// modules imported by one check stay loaded for the next.
class ConfluxChecker : public EntityModel::Checker
{
public:
    ConfluxChecker();
    ~ConfluxChecker() override;
    ConfluxChecker(ConfluxChecker&&) noexcept;
    ConfluxChecker& operator=(ConfluxChecker&&) noexcept;
    ConfluxChecker(const ConfluxChecker&) = delete;
    ConfluxChecker& operator=(const ConfluxChecker&) = delete;

    void checkFlowNetworkOnlyEntities(std::set<EntityModel::Entity*>& entities,
                                      std::vector<EntityModel::EntityError>& errors) override;
    /// Checks the controller entities of the set and those owned by its other entities, each once.
    void checkEntities(std::set<EntityModel::Entity*>& entities,
                       std::vector<EntityModel::EntityError>& errors) override;
    void setRootEntity(EntityModel::Entity* root) override;
    /// "Conflux Controller Errors".
    std::string getLabel() const override;

private:
    static bool isEntityToCheck(EntityModel::Entity* entity);
    void checkConflux(EntityModel::Entity* entity, std::vector<EntityModel::EntityError>& errors);
    void checkConfluxUserDefinedDLL(EntityModel::Entity* entity);
    void checkConfluxPython(EntityModel::Entity* entity);
    void checkConfluxPythonScript(EntityModel::Entity* entity, const std::string& source);
    void checkExchangeModel(const std::set<EntityModel::Entity*>& entities,
                            std::vector<EntityModel::EntityError>& errors) const;

    EntityModel::Entity* m_root = nullptr;
    std::unique_ptr<ScriptingSystem::PythonCoreInterpreter> m_interpreter;
};
} // namespace Conflux
