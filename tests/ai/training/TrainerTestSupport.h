#pragma once
// The bundled sample project and a trainer bound to one of its entities.
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/ProjectFile.h"
#include "src/ai/training/AIModelTrainer.h"
#include "tests/host/services/TestApp.h"

#include <memory>
#include <string>

namespace TrainerTest
{
inline EntityModel::Entity* findEntity(EntityModel::Attribute* from, const std::string& name)
{
    if (from->isEntity() && static_cast<EntityModel::Entity*>(from)->getName() == name)
        return static_cast<EntityModel::Entity*>(from);
    for (EntityModel::Attribute* child : from->getChildAttributes())
        if (EntityModel::Entity* found = findEntity(child, name))
            return found;
    return nullptr;
}

/// The sample project, loaded afresh, and a trainer (not yet initialised).
struct Sample
{
    Sample() { ServicesTest::app(); }

    std::unique_ptr<EntityModel::Project> project =
        EntityModel::ProjectFile::load(QStringLiteral(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json"));
    EntityModel::Entity* root = project->getRootEntity();
    std::unique_ptr<Conflux::AIModelTrainer> trainer = std::make_unique<Conflux::AIModelTrainer>();

    EntityModel::Entity* entity(const std::string& name) const
    {
        EntityModel::Entity* found = findEntity(root, name);
        if (!found)
            throw std::runtime_error("the sample has no entity '" + name + "'");
        return found;
    }
    EntityModel::Attribute* attribute(const std::string& entityName, const std::string& path) const
    {
        EntityModel::Attribute* found = entity(entityName)->findAttribute(EntityModel::AttributePath(path));
        if (!found)
            throw std::runtime_error("the sample's '" + entityName + "' has no attribute '" + path + "'");
        return found;
    }
};
} // namespace TrainerTest
