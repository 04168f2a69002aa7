#include "host/entitymodel/AIModelDerivedFunctions.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DerivedFunctions.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/entitymodel/ShortcutAttribute.h"
#include "host/entitymodel/ValueAttribute.h"

#include <gtest/gtest.h>

#include <string>

using namespace EntityModel;

namespace
{
const QString sampleFile = QStringLiteral(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json");

Entity* findEntity(Attribute* from, const std::string& name)
{
    if (from->isEntity() && static_cast<Entity*>(from)->getName() == name)
        return static_cast<Entity*>(from);
    for (Attribute* child : from->getChildAttributes())
        if (Entity* found = findEntity(child, name))
            return found;
    return nullptr;
}

struct SampleProject
{
    std::unique_ptr<Project> project = ProjectFile::load(sampleFile);
    Entity* root = project->getRootEntity();
    Entity* model = findEntity(root, "Server A01-1 Surrogate");

    CompositeAttribute* item(const std::string& path) const
    {
        return model ? model->findComposite(AttributePath(path)) : nullptr;
    }
    Entity* entity(const std::string& name) const { return findEntity(root, name); }
};

void relink(CompositeAttribute* item, Entity* entity)
{
    ASSERT_TRUE(static_cast<LinkAttribute*>(item->findAttribute(Entity_t, false))->addReference(entity));
    invalidateDerivedAttribute(item, true);
}

void setChosen(CompositeAttribute* item, const std::string& text)
{
    static_cast<StringAttribute*>(item->findAttribute(Attribute_t, false))->setString(text);
    invalidateDerivedAttribute(item, true);
}
} // namespace

TEST(AIModelValue, SampleItemsResolveToTheirBoundAttributes)
{
    SampleProject s;
    ASSERT_NE(s.model, nullptr);
    struct Row
    {
        std::string item, entity, path;
    };
    const Row rows[] = {
        {"Specification.Inputs.Input Values.Input Value 1", "Server A01-1",
         "Power.Power Definition.Typical Power"},
        {"Specification.Inputs.Input Values.Input Value 2", "Server A01-1 Inlet",
         "Simulation Results.Temperature Net.Mean Temperature Net"},
        {"Specification.Outputs.Output Values.Output Value 1", "Server A01-1 Exhaust", "Temperature"},
        {"Specification.Outputs.Output Values.Output Value 2", "Server A01-1 Exhaust", "Flow Rate"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.item);
        CompositeAttribute* item = s.item(row.item);
        ASSERT_NE(item, nullptr);
        Entity* bound = s.entity(row.entity);
        ASSERT_NE(bound, nullptr);
        Attribute* expected = bound->findAttribute(AttributePath(row.path));
        ASSERT_NE(expected, nullptr);

        EXPECT_EQ(getShortcutTarget(item, Value_t), expected);
        Attribute* value = item->findAttribute(Value_t, false);
        EXPECT_EQ(value->getValue(), expected->getValue());
        EXPECT_DOUBLE_EQ(value->standardVal(), expected->standardVal());
        EXPECT_TRUE(value->isValid());

        // The chosen text is kept; the selected path names the host path.
        EXPECT_EQ(item->findAttribute(Attribute_t, false)->getValue(), row.path);
        EXPECT_TRUE(item->findAttribute(Attribute_t, false)->isValid());
        EXPECT_EQ(item->findAttribute(AttributePath("Selected Attribute.Path"))->getValue(), row.path);

        // Both units follow the bound value's quantity.
        const auto* expectedUnit = static_cast<DoubleAttribute*>(expected)->getUnitAttribute();
        ASSERT_NE(expectedUnit, nullptr);
        for (const char* unitName : {"Model Unit", "CSV Unit"})
        {
            auto* unit = static_cast<UnitTypeAttribute*>(item->findAttribute(TypeRef(unitName), false));
            unit->ensureComputed();
            EXPECT_EQ(unit->getQuantity(), expectedUnit->getQuantity()) << unitName;
        }
    }
}

TEST(AIModelValue, ChangedLinkReResolvesAfterInvalidation)
{
    SampleProject s;
    CompositeAttribute* item = s.item("Specification.Outputs.Output Values.Output Value 1");
    ASSERT_NE(item, nullptr);
    Entity* other = s.entity("GPU Node A02-1 Exhaust");
    ASSERT_NE(other, nullptr);
    relink(item, other);
    EXPECT_EQ(getShortcutTarget(item, Value_t), other->findAttribute(Temperature_t, false));

    // Values read through the shortcut are those of the newly bound entity.
    static_cast<DoubleAttribute*>(other->findAttribute(Temperature_t, false))->setStandardVal(41.5);
    EXPECT_DOUBLE_EQ(item->findAttribute(Value_t, false)->standardVal(), 41.5);
}

TEST(AIModelValue, ListEmptyTreatsTheTextAsHostPath)
{
    SampleProject s;
    CompositeAttribute* item = s.item("Specification.Outputs.Output Values.Output Value 2");
    ASSERT_NE(item, nullptr);
    static_cast<LinkAttribute*>(item->findAttribute(TypeRef("AI Model Attribute List"), false))->clear();
    setChosen(item, "Temperature");
    Entity* exhaust = s.entity("Server A01-1 Exhaust");
    EXPECT_EQ(getShortcutTarget(item, Value_t), exhaust->findAttribute(Temperature_t, false));
}

TEST(AIModelValue, NoTargetWithoutLinkOrAttribute)
{
    SampleProject s;
    CompositeAttribute* item = s.item("Specification.Inputs.Input Values.Input Value 1");
    ASSERT_NE(item, nullptr);

    // Linked to an entity without the chosen attribute.
    relink(item, s.entity("Server A01-1 Inlet"));
    EXPECT_EQ(getShortcutTarget(item, Value_t), nullptr);
    Attribute* value = item->findAttribute(Value_t, false);
    EXPECT_EQ(value->getValue(), "");
    EXPECT_FALSE(value->isValid());
    EXPECT_EQ(item->findAttribute(AttributePath("Selected Attribute.Path"))->getValue(), "");
    EXPECT_TRUE(item->findAttribute(Attribute_t, false)->isValid());

    // A chosen attribute the entity does not have.
    relink(item, s.entity("Server A01-1"));
    setChosen(item, "No Such Attribute");
    EXPECT_EQ(getShortcutTarget(item, Value_t), nullptr);

    // No linked entity: the text is kept but is no longer valid.
    static_cast<LinkAttribute*>(item->findAttribute(Entity_t, false))->clear();
    invalidateDerivedAttribute(item, true);
    EXPECT_EQ(getShortcutTarget(item, Value_t), nullptr);
    Attribute* chosen = item->findAttribute(Attribute_t, false);
    EXPECT_EQ(chosen->getValue(), "No Such Attribute");
    EXPECT_FALSE(chosen->isValid());
}

TEST(AIModelUnit, SelectedUnitKeptWhileTheQuantityMatches)
{
    SampleProject s;
    CompositeAttribute* item = s.item("Specification.Outputs.Output Values.Output Value 1");
    ASSERT_NE(item, nullptr);
    auto* unit = static_cast<UnitTypeAttribute*>(item->findAttribute(TypeRef("Model Unit"), false));
    unit->ensureComputed();
    const TypeRef temperature = unit->getQuantity();
    ASSERT_TRUE(unit->setValueFromString("K"));

    // Re-bound to another temperature: the user's unit stays.
    relink(item, s.entity("GPU Node A02-1 Exhaust"));
    EXPECT_EQ(unit->getValue(), "K");
    EXPECT_EQ(unit->getQuantity(), temperature);

    // Bound to a flow rate: the quantity changes and the unit falls back to the standard one.
    setChosen(item, "Flow Rate");
    EXPECT_NE(unit->getValue(), "K");
    EXPECT_NE(unit->getQuantity(), temperature);
}

TEST(SharedLibraryPath, IsTheSharedObjectFile)
{
    SampleProject s;
    Entity* dll = s.entity("Site BMS Bridge");
    ASSERT_NE(dll, nullptr);
    Attribute* path = dll->findAttribute(AttributePath("Linux Library.Shared Library Path"));
    ASSERT_NE(path, nullptr);
    const std::string file =
        dll->findAttribute(AttributePath("Linux Library.Shared Object File"))->getValue();
    EXPECT_TRUE(file.ends_with("/libbms_bridge.so")) << file;
    EXPECT_EQ(path->getValue(), file);
    EXPECT_TRUE(path->isValid());
}
