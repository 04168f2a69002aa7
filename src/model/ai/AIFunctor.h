#pragma once
#include "src/model/AttributeReference.h"
#include "src/model/ai/AIModuleDefinitionCollection.h"

#include <string>
#include <vector>

namespace Conflux
{
/// What the solver needs to run one AI model: its name, the exchange entity it stands in for
/// (may be null), the exchange attributes feeding its inputs and receiving its outputs (input i
/// is column i of the model) and its module definition (not owned; null when the model has none).
class AIFunctor
{
public:
    using Reference = Model::AttributeReference<Model::Attribute>;

    AIFunctor() = default;
    AIFunctor(std::string name, Model::Entity* owner, std::vector<Reference> inputs, std::vector<Reference> outputs,
              AIModuleDefinition* definition);

    const std::string& getName() const { return m_name; }
    Model::Entity* getOwner() const { return m_owner.get(); }
    const Model::AttributeReference<Model::Entity>& getOwnerReference() const { return m_owner; }
    const std::vector<Reference>& getInputs() const { return m_inputs; }
    const std::vector<Reference>& getOutputs() const { return m_outputs; }
    AIModuleDefinition* getDefinition() const { return m_definition; }
    void setDefinition(AIModuleDefinition* definition) { m_definition = definition; }

    /// Binds owner, inputs and outputs to the nodes their paths name in the model under `root`;
    /// false when one of them (the owner only when it has a path) is not found.
    bool resolve(Model::Entity* root);
    /// Points the definition at the equal one in `definitions` (null when it holds none), e.g.
    /// after the functors' collection was copied.
    void rebind(const AIModuleDefinitionCollection& definitions);

    /// Section "AIFunctor": name, owner path, input and output paths, and the position of the
    /// definition in `definitions` (-1 for none). The definition must be held by `definitions`.
    void write(FileSystem::DataOStream& stream, const AIModuleDefinitionCollection& definitions) const;
    /// Reads a record; references come back unbound (see `resolve`), the definition from
    /// `definitions` by position. A position outside the collection fails the stream.
    void read(FileSystem::DataIStream& stream, const AIModuleDefinitionCollection& definitions);

    /// Same name, paths, and equal definitions (both null or equal as definitions).
    bool operator==(const AIFunctor& other) const;

private:
    std::string m_name;
    Model::AttributeReference<Model::Entity> m_owner;
    std::vector<Reference> m_inputs;
    std::vector<Reference> m_outputs;
    AIModuleDefinition* m_definition = nullptr;
};
} // namespace Conflux
