// confluxtool check PROJECT: the exchange and AI model checkers over a project, errors by entity.
#include "cli/Command.h"

#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityError.h"
#include "host/entitymodel/ProjectFile.h"
#include "src/checks/AIModelChecker.h"
#include "src/checks/ConfluxChecker.h"

#include <initializer_list>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace EntityModel;

namespace
{
const char* usage = R"(Usage: confluxtool check PROJECT

Runs the validation of the exchange controllers and of the AI models over a project file (JSON)
and prints each problem under the entity it concerns: the entity's path and type, the checker,
the message and, where there is one, the detail below it. Checked are:
  - user-defined libraries: a library file for this platform that exists on disk;
  - Python modules: the script (or file) compiles and imports, and defines every event handler;
  - AI models in use: a supported model type, model data that loads, inputs and outputs bound to
    project values, scaling without a zero factor, initial inputs inside the training bounds.

Exit status: 0 when there are no problems, 1 when there are, 2 for a bad command line.
)";

/// One line of the report: the checker's label, the message and the detail (may be empty).
struct Problem
{
    std::string checker;
    std::string message;
    std::string detail;
};

std::string entityPath(const Entity* entity)
{
    const std::string name = entity->getFullDisplayName();
    return (name.empty() ? entity->getTypeRef().getLabel() : name) + " (" + entity->getTypeRef().getLabel() +
           ")";
}

void collect(const std::string& label, const std::vector<EntityError>& errors,
             std::map<const Entity*, std::vector<Problem>>& byEntity, std::vector<const Entity*>& order)
{
    for (const EntityError& error : errors)
    {
        const Entity* entity = error.getEntity();
        if (byEntity.find(entity) == byEntity.end())
            order.push_back(entity);
        if (error.getChildErrors().empty())
            byEntity[entity].push_back({label, error.getMessage(), ""});
        // A group lists what it concerns below its message, each under the entity it names.
        for (const EntityError& child : error.getChildErrors())
        {
            std::string detail =
                child.getMessage() == error.getMessage() ? std::string() : child.getMessage();
            if (child.getEntity() != nullptr && child.getEntity() != entity)
                detail = child.getEntity()->getName() + (detail.empty() ? "" : ": " + detail);
            byEntity[entity].push_back({label, error.getMessage(), detail});
        }
    }
}

int run(const std::vector<std::string>& args)
{
    const ConfluxCli::Command& self = ConfluxCli::command("check");
    QCommandLineParser parser;
    if (const auto status = ConfluxCli::parseArguments(self, parser, {}, args))
        return *status;
    if (const auto status = ConfluxCli::expectOneProjectFile(self, parser))
        return *status;
    const QStringList files = parser.positionalArguments();
    const std::string projectFile = files.front().toStdString();

    const auto project = ProjectFile::load(files.front());
    Entity* root = project->getRootEntity();
    std::set<Entity*> entities{root};

    Conflux::ConfluxChecker exchangeChecker;
    Conflux::AIModelChecker aiChecker;
    std::map<const Entity*, std::vector<Problem>> byEntity;
    std::vector<const Entity*> order;
    for (EntityModel::Checker* checker :
         std::initializer_list<EntityModel::Checker*>{&exchangeChecker, &aiChecker})
    {
        std::vector<EntityError> errors;
        checker->setRootEntity(root);
        checker->checkEntities(entities, errors);
        collect(checker->getLabel(), errors, byEntity, order);
    }

    std::size_t count = 0;
    for (const Entity* entity : order)
    {
        std::cout << (entity ? entityPath(entity) : std::string("(no entity)")) << "\n";
        for (const Problem& problem : byEntity[entity])
        {
            ++count;
            std::cout << "  " << problem.checker << ": " << problem.message << "\n";
            if (!problem.detail.empty())
                std::cout << "      " << problem.detail << "\n";
        }
    }
    if (count == 0)
    {
        std::cout << "No problems found in " << projectFile << "\n";
        return 0;
    }
    std::cout << count << (count == 1 ? " problem" : " problems") << " found in " << projectFile << "\n";
    return 1;
}

const ConfluxCli::CommandRegistration
    registration({"check", "report configuration errors of controllers and AI models", usage, run});
} // namespace
