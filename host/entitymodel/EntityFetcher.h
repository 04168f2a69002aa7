#pragma once

namespace EntityModel
{
class Entity;

/// Finds the well-known entities of a project.
/// Layout relied on: the project root (type Project) owns a `Solution_Control_t` entity; the
/// exchange is on when the solution control's `Conflux_Control_t / Active_t` is true; AI models are
/// active when its `AI_Model_Control_t / Active_t` reads true (`Yes`); the project fluid is the entity
/// linked at the root's `Project_Fluid_t`.
class EntityFetcher
{
public:
    /// The solution control of the project that owns the entity (the entity may be the root), or null.
    static Entity* getSolutionControl(Entity* entity);
    static bool isAIModelActive(Entity* root);
    static bool isConflux(Entity* root);
    /// The project root above the entity (itself when it is the root), or null when the topmost
    /// entity above it is not a project.
    static Entity* getOwnerProject(Entity* entity);
    /// The fluid linked as the project's fluid, or null.
    static Entity* getProjectFluid(Entity* project);
};
} // namespace EntityModel
