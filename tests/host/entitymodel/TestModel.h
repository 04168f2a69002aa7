#pragma once
// A small data model built in code for the entity model's tests: a project with a solution control,
// rooms holding servers, servers with values of every kind, rules, a derived value, a counted list
// of inputs, owning and referring links and a shortcut.
#include "host/entitymodel/EntityModel.h"

#include <memory>
#include <string>
#include <vector>

namespace TestModel
{
using namespace EntityModel;

inline AttributeDefinition attr(AttributeKind kind, const std::string& name,
                                const std::string& defaultValue = {})
{
    AttributeDefinition d;
    d.kind = kind;
    d.name = TypeRef(name);
    d.defaultValue = defaultValue;
    return d;
}

inline AttributeDefinition composite(const std::string& name, std::vector<AttributeDefinition> children)
{
    AttributeDefinition d = attr(AttributeKind::Composite, name);
    d.children = std::move(children);
    return d;
}

inline AttributeDefinition link(AttributeKind kind, const std::string& name, std::vector<TypeRef> types,
                                bool owning)
{
    AttributeDefinition d = attr(kind, name);
    d.linkedTypes = std::move(types);
    d.owning = owning;
    return d;
}

inline AttributeDefinition quantity(AttributeDefinition d, const std::string& q, const std::string& unit = {})
{
    d.quantity = TypeRef(q);
    d.unit = unit;
    return d;
}

inline RuleDefinition rule(const std::string& path, std::vector<std::string> values, bool negate)
{
    return RuleDefinition{{RuleCondition{AttributePath(path), std::move(values), negate}}};
}

/// The test schema; Server carries one attribute of most kinds.
inline Schema makeSchema()
{
    Schema schema;

    EntityDefinition project{Project_t, {}, {}, {}};
    project.attributes.push_back(link(AttributeKind::Link, "Solution Control", {Solution_Control_t}, true));
    project.attributes.push_back(link(AttributeKind::List, "Rooms", {TypeRef("Room")}, true));
    project.attributes.push_back(link(AttributeKind::Link, "Project Fluid", {TypeRef("Fluid")}, false));
    schema.add(project);

    EntityDefinition control{Solution_Control_t, {}, {}, {}};
    control.attributes.push_back(
        composite("Conflux Control", {attr(AttributeKind::Bool, "Active", "false")}));
    AttributeDefinition aiActive = attr(AttributeKind::Type, "Active", "No");
    aiActive.candidates = {Yes_t, No_t};
    control.attributes.push_back(composite("AI Model Control", {aiActive}));
    control.attributes.push_back(
        quantity(attr(AttributeKind::Double, "Reference Temperature", "25"), "Temperature"));
    schema.add(control);

    EntityDefinition room{TypeRef("Room"), {}, {}, {}};
    room.attributes.push_back(link(AttributeKind::List, "Equipment", {TypeRef("Server")}, true));
    schema.add(room);

    EntityDefinition fluid{TypeRef("Fluid"), {}, {}, {}};
    fluid.attributes.push_back(
        composite("Density", {quantity(attr(AttributeKind::Double, "Value", "1.2"), "Density")}));
    schema.add(fluid);

    EntityDefinition server{TypeRef("Server"), {}, {}, {}};
    AttributeDefinition power = quantity(attr(AttributeKind::Double, "Power", "1000"), "Power", "kW");
    power.min = 0.0;
    power.max = 50000.0;
    power.exchange.flagged = true;
    server.attributes.push_back(power);
    AttributeDefinition level = attr(AttributeKind::Type, "Modelling Level", "Simple");
    level.candidates = {TypeRef("Simple"), TypeRef("Detailed"), AI_Model_t};
    server.attributes.push_back(composite("Cooling", {level}));
    AttributeDefinition modelData = attr(AttributeKind::String, "Model Data");
    modelData.hiddenRule = rule("Cooling.Modelling Level", {"AI Model"}, true);
    server.attributes.push_back(modelData);
    AttributeDefinition locked = attr(AttributeKind::Int, "Slots", "2");
    locked.readOnlyRule = rule("Locked", {"true"}, false);
    server.attributes.push_back(locked);
    server.attributes.push_back(attr(AttributeKind::Bool, "Locked", "false"));
    AttributeDefinition summary = attr(AttributeKind::String, "Summary");
    summary.derivedFunction = "test.summary";
    server.attributes.push_back(summary);
    AttributeDefinition item = composite(
        "Input", {attr(AttributeKind::String, "Attribute"),
                  composite("Bounds", {[]
                                       {
                                           AttributeDefinition hasMin =
                                               attr(AttributeKind::Type, "Has Min", "No");
                                           hasMin.candidates = {Yes_t, No_t};
                                           return hasMin;
                                       }(),
                                       quantity(attr(AttributeKind::Double, "Min", "0"), "Temperature")})});
    AttributeDefinition inputs = attr(AttributeKind::CountedComposite, "Input Values", "1");
    inputs.item = std::make_shared<AttributeDefinition>(item);
    server.attributes.push_back(inputs);
    server.attributes.push_back(link(AttributeKind::Link, "AIModelLink", {AI_Model_t}, true));
    server.attributes.push_back(link(AttributeKind::List, "Neighbours", {TypeRef("Server")}, false));
    server.attributes.push_back(link(AttributeKind::List, "Inflows", {Inflow_t}, true));
    AttributeDefinition shortcut = attr(AttributeKind::Shortcut, "Value");
    shortcut.targets = {AttributePath("Power")};
    server.attributes.push_back(shortcut);
    AttributeDefinition curve =
        quantity(attr(AttributeKind::Curve, "Outlet Curve", "0:20;10:30"), "Temperature");
    curve.xQuantity = TypeRef("Time");
    server.attributes.push_back(curve);
    server.attributes.push_back(attr(AttributeKind::ByteArray, "Blob", "abc"));
    server.attributes.push_back(attr(AttributeKind::Filename, "Library"));
    schema.add(server);

    EntityDefinition aiModel{AI_Model_t, {}, {}, {}};
    aiModel.attributes.push_back(attr(AttributeKind::String, "Model Type", "NeuralNetwork"));
    schema.add(aiModel);

    EntityDefinition inflow{Inflow_t, {}, {}, {}};
    inflow.attributes.push_back(quantity(attr(AttributeKind::Double, "Area", "0.5"), "Area"));
    schema.add(inflow);
    return schema;
}

/// A project of two rooms ("Room 1" with servers "Server 1" and "Server 2", "Room 2" empty), made
/// current in the editor, whose data factory uses the test schema for the fixture's lifetime.
class ProjectFixture
{
public:
    ProjectFixture() : schema(makeSchema())
    {
        EntityEditor::getDataFactory() = DataFactory(&schema);
        project = std::make_unique<Project>(DataFactory(&schema).createEntity(Project_t, "Project"));
        EntityEditor::setCurrentProject(project.get());
        root = project->getRootEntity();
        control = EntityEditor::createEntity(Solution_Control_t, root, TypeRef("Solution Control"));
        room1 = EntityEditor::createEntity(TypeRef("Room"), root, TypeRef("Rooms"), nullptr, true, true,
                                           false, "Room 1");
        room2 = EntityEditor::createEntity(TypeRef("Room"), root, TypeRef("Rooms"), nullptr, true, true,
                                           false, "Room 2");
        server1 = EntityEditor::createEntity(TypeRef("Server"), room1, TypeRef("Equipment"), nullptr, true,
                                             true, false, "Server 1");
        server2 = EntityEditor::createEntity(TypeRef("Server"), room1, TypeRef("Equipment"), nullptr, true,
                                             true, false, "Server 2");
    }
    ~ProjectFixture()
    {
        EntityEditor::setCurrentProject(nullptr);
        project.reset();
        EntityEditor::getDataFactory() = DataFactory();
    }

    Schema schema;
    std::unique_ptr<Project> project;
    Entity* root = nullptr;
    Entity* control = nullptr;
    Entity* room1 = nullptr;
    Entity* room2 = nullptr;
    Entity* server1 = nullptr;
    Entity* server2 = nullptr;
};
} // namespace TestModel
