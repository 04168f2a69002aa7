#pragma once
#include "host/entitymodel/AttributePath.h"
#include "host/entitymodel/Calculator.h"
#include "src/model/AttributePath.h"
#include "src/model/builders/EntityTreeBuilder.h"

#include <map>
#include <set>

namespace EntityModel
{
class CompositeAttribute;
class Entity;
} // namespace EntityModel

namespace Conflux
{
/// The derived data of AI models ("AIModel"): the solution control's AI model flag follows whether
/// any AI model of the project is in use, and every input and output of a model in use keeps the
/// list of candidate attributes of its linked entity (one "AI Model Attribute" entity each, Name
/// the exchange path relative to the linked entity, Path the host path) with its choice marked
/// valid only while candidates exist. Inputs may read what the linked entity's exchange model lets
/// read, outputs write what it lets write. The last run's created, changed and deleted entities
/// are reported by getChangedEntities. Exceptions of the entity model pass through.
class AIModelCalculator : public EntityModel::Calculator
{
public:
    /// Candidates of a linked entity: exchange path (relative to the entity) to host path.
    using CandidateMap = std::map<Model::AttributePath, EntityModel::AttributePath>;

    AIModelCalculator();
    ~AIModelCalculator() override;

    /// Does nothing for a null part; otherwise calculateDerivedData of the part's entity.
    void calculateDerivedData(Geometry::Part* part) override;
    /// An AI model: updates it when in use (and switches the flag on). Any other entity: updates
    /// the AI models in use below it and sets the flag by whether there are any.
    void calculateDerivedData(EntityModel::Entity* entity);
    /// Updates one AI model's inputs, then its outputs.
    void calculateDerivedDataAIModel(EntityModel::Entity* aiModel);
    void getChangedEntities(EntityModel::ChangeSet& changes) override;

protected:
    /// The exchange model of a linked entity the candidates are read from (a seam for tests).
    virtual Model::EntityTree buildExchangeTree(EntityModel::Entity* linked);

private:
    void calculateDerivedDataAIModelValue(EntityModel::CompositeAttribute* entry, bool isInput);
    CandidateMap getInputAttributeList(EntityModel::Entity* linked, bool isInput);

    std::map<EntityModel::Entity*, CandidateMap> m_inputCache;
    std::map<EntityModel::Entity*, CandidateMap> m_outputCache;
    std::set<EntityModel::Entity*> m_created;
    std::set<EntityModel::Entity*> m_deleted;
    std::set<EntityModel::Entity*> m_changed;
};
} // namespace Conflux
