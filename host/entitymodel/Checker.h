#pragma once
#include "host/entitymodel/EntityError.h"
#include "host/entitymodel/GeometryPart.h"

#include <set>
#include <string>
#include <vector>

namespace EntityModel
{
class Entity;

/// A validation pass run by the checking framework over a set of entities; it appends errors and
/// never edits the project.
class Checker
{
public:
    virtual ~Checker();
    virtual void checkFlowNetworkOnlyEntities(std::set<Entity*>& entities,
                                              std::vector<EntityError>& errors) = 0;
    virtual void checkEntities(std::set<Entity*>& entities, std::vector<EntityError>& errors) = 0;
    virtual void setRootEntity(Entity* root) = 0;
    /// The label under which the framework lists the checker's errors.
    virtual std::string getLabel() const = 0;
    virtual void clearCachedErrors(Entity* entity);
    virtual void clearCachedErrors();
    virtual void setGeometryBuilder(Geometry::GeometryBuilder* builder);
    virtual bool isInstalled() const;
};
} // namespace EntityModel
