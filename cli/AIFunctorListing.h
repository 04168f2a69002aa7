#pragma once
// The AI functors a generation run would hand the solver, listed for the user.
#include <iosfwd>
#include <map>

namespace EntityModel
{
class Attribute;
class Entity;
} // namespace EntityModel

namespace Conflux::Model
{
class Attribute;
}

namespace ConfluxCli
{
/// Writes one block per AI model in use under `root`: its name, module type and owner, and the
/// exchange paths feeding its inputs and receiving its outputs, in model order. `attributeMap` is
/// that of the project's exchange model. When the functors cannot be built (an unbound input, empty
/// model data) the reason is written instead and the result is false.
bool listAIFunctors(std::ostream& out, EntityModel::Entity* root,
                    const std::map<EntityModel::Attribute*, Conflux::Model::Attribute*>& attributeMap);
} // namespace ConfluxCli
