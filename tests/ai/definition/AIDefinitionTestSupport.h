#pragma once
// A detached AI-model entity of the built-in schema, for the AI definition tests.
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/SchemaLoader.h"
#include "src/ai/definition/AIModuleGenerator.h"

#include <memory>
#include <string>

namespace AIDefinitionTest
{
using namespace EntityModel;

class AIModel
{
public:
    /// An empty model type removes the attribute, so the entity has none of the known types.
    explicit AIModel(TypeRef modelType)
    {
        SchemaLoader::ensureBuiltInLoaded();
        m_entity = EntityEditor::createDetachedEntity(AI_Model_t, "Surrogate");
        if (modelType.empty())
            m_entity->removeAttribute(m_entity->findAttribute(Model_Type_t));
        else
            EntityEditor::setValue(m_entity.get(), Model_Type_t, modelType);
    }

    Entity* get() const { return m_entity.get(); }

    /// Appends an input (or output) and returns its composite.
    CompositeAttribute* add(bool input) const
    {
        CountedCompositeAttribute* values = Conflux::AIModuleGenerator::findValueList(get(), input);
        const std::size_t index = values->childCount();
        values->setCount(static_cast<int>(index) + 1);
        return values->getItem(index);
    }

private:
    std::unique_ptr<Entity, EntityEditorDeleter> m_entity;
};

/// Scaling of an input (To Model) or output (From Model): Simple_Scaling_t with scaling and offset,
/// or Mean_Std_Dev_t with mean and standard deviation.
inline void setScaling(CompositeAttribute* value, bool input, TypeRef type, double first, double second)
{
    const AttributePath group = input ? To_Model_Transformation_t : From_Model_Transformation_t;
    EntityEditor::setValue(value, group / Type_t, type);
    const bool simple = type == Simple_Scaling_t;
    const AttributePath values =
        group / (simple ? Simple_Scaling_Transformation_t : Mean_Std_Dev_Transformation_t);
    EntityEditor::setValue(value, values / (simple ? Scaling_t : Mean_t), first);
    EntityEditor::setValue(value, values / (simple ? Offset_t : Std_Dev_t), second);
}

inline void setModelUnit(CompositeAttribute* value, TypeRef quantity, const std::string& unit)
{
    auto* modelUnit = static_cast<UnitTypeAttribute*>(value->findAttribute("Model Unit"));
    modelUnit->setQuantity(quantity);
    modelUnit->setValueFromString(unit);
}
} // namespace AIDefinitionTest
