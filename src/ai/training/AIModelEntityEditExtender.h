#pragma once
#include "host/entitymodel/EntityEditor.h"

namespace Conflux
{
/// Keeps an equipment item's or controller's AI model in step with the value that selects it:
/// when IT equipment's or a CDU's "Cooling.Modelling Level", or a controller's "Controls.Mode",
/// becomes "AI Model", an AI model is created at the entity's AIModelLink (when it has none); when
/// it becomes anything else, the linked AI model is deleted. Registered once, while the library is
/// loaded.
class AIModelEntityEditExtender : public EntityModel::EntityEditExtender
{
public:
    ~AIModelEntityEditExtender() override;
    void extendPostSetValueOperation(bool applied) override;
    bool extendPostDeleteOperation() override;
    void extendSetValueOperation(EntityModel::Entity* entity, EntityModel::Attribute* attribute,
                                 const std::string& value, bool flag) override;
    void extendDragDropOperation(EntityModel::Entity* dragged, EntityModel::Entity* target) override;
    void extendDuplicateOperation(EntityModel::Entity* original, EntityModel::Entity* duplicate) override;
    void extendPasteOperation(const std::vector<EntityModel::Entity*>& pasted) override;
    void extendPreDeleteOperation(const std::vector<EntityModel::Entity*>& entities, bool flag) override;
};
} // namespace Conflux
