#pragma once

namespace EntityModel
{
class Entity;
}

namespace Geometry
{
/// The geometry of an entity as the derived-data framework hands it over.
class Part
{
public:
    explicit Part(EntityModel::Entity* entity) : entity_(entity) {}
    EntityModel::Entity* getEntity() const { return entity_; }

private:
    EntityModel::Entity* entity_;
};

/// The application's geometry builder, handed to checkers that need geometry.
class GeometryBuilder;
} // namespace Geometry
