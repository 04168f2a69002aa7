// The built-in schema: it loads, it defines every declared TypeRef, its exchange flags are coherent,
// the paths the library reads exist, and bad schema files are refused with exact messages.
#include "host/entitymodel/DataFactory.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/SchemaLoader.h"

#include <gtest/gtest.h>

#include <set>

using namespace EntityModel;

namespace
{
const Schema& builtIn()
{
    SchemaLoader::ensureBuiltInLoaded();
    return Schema::instance();
}

/// Every label the schema uses: entity types, attribute and item names, type values, quantities,
/// and the steps of shortcut and rule paths.
void collectLabels(const AttributeDefinition& d, std::set<std::string>& labels)
{
    labels.insert(d.name.getLabel());
    for (TypeRef candidate : d.candidates)
        labels.insert(candidate.getLabel());
    if (!d.quantity.empty())
        labels.insert(d.quantity.getLabel());
    auto addPath = [&](const AttributePath& path) {
        for (TypeRef step : path)
            labels.insert(step.getLabel());
    };
    for (const AttributePath& path : d.exchange.shortcuts)
        addPath(path);
    for (const AttributePath& path : d.targets)
        addPath(path);
    for (const auto* rule : {&d.hiddenRule, &d.readOnlyRule, &d.exchange.readOnlyRule})
        if (*rule)
            for (const RuleCondition& condition : (*rule)->conditions)
                addPath(condition.path);
    for (const AttributeDefinition& child : d.children)
        collectLabels(child, labels);
    if (d.item)
        collectLabels(*d.item, labels);
}

/// Calls f(definition, dotted path) for every attribute definition of an entity type.
template <typename F> void forEachAttribute(const std::vector<AttributeDefinition>& list, const std::string& prefix, F&& f)
{
    for (const AttributeDefinition& d : list)
    {
        const std::string path = prefix.empty() ? d.name.getLabel() : prefix + "." + d.name.getLabel();
        f(d, path);
        forEachAttribute(d.children, path, f);
        if (d.item)
            forEachAttribute(d.item->children, path + ".<item>", f);
    }
}

std::string parseError(const std::string& json)
{
    try
    {
        SchemaLoader::parse(QByteArray::fromStdString(json), "/schema/Bad.json");
    }
    catch (const std::runtime_error& error)
    {
        return error.what();
    }
    return {};
}
} // namespace

TEST(BuiltInSchema, EveryDeclaredTypeRefIsDefinedByTheSchema)
{
    std::set<std::string> labels;
    for (const auto& [type, definition] : builtIn().definitions())
    {
        labels.insert(type.getLabel());
        for (const AttributeDefinition& attribute : definition->attributes)
            collectLabels(attribute, labels);
    }
    std::vector<std::string> missing;
#define ENTITYMODEL_TYPEREF(Name)                                                                                      \
    if (!labels.count(Name##_t.getLabel()))                                                                            \
        missing.push_back(#Name "_t");
#include "host/entitymodel/TypeRefs.def"
#undef ENTITYMODEL_TYPEREF
    EXPECT_EQ(missing, std::vector<std::string>{});
}

TEST(BuiltInSchema, EveryEntityTypeMakesAnEntityWithItsDefaults)
{
    const std::vector<std::string> types{
        "Project",      "Solution Control", "Room",           "Cabinet",    "IT Equipment",       "Inflow",
        "Outflow",      "CDU",              "Controller",     "Vent",       "Air Cooling Unit",   "Heat Exchanger",
        "Flow Network", "Flow Network Connection", "Fluid",   "User Defined DLL", "Python Module", "Event Handler",
        "AI Model",     "AI Model Attribute", "AI Model Trainer", "AI Model Evaluator"};
    EXPECT_EQ(builtIn().definitions().size(), types.size());
    for (const std::string& type : types)
    {
        SCOPED_TRACE(type);
        const auto entity = DataFactory().createEntity(TypeRef(type), "x");
        ASSERT_NE(entity, nullptr);
        EXPECT_EQ(entity->childCount(), builtIn().get(TypeRef(type)).attributes.size());
    }
}

TEST(BuiltInSchema, PathsTheLibraryReadsExistOnFreshEntities)
{
    builtIn();
    const std::vector<std::pair<std::string, std::string>> paths{
        {"Solution Control", "Conflux Control.Mode"},
        {"Solution Control", "Conflux Control.Version"},
        {"Solution Control", "Conflux Control.Log Level"},
        {"Solution Control", "Conflux Control.Force Double Attributes"},
        {"Solution Control", "Conflux Control.Enable CFD Generation Events"},
        {"Solution Control", "Conflux Control.FileParser Properties.Client heartbeat check grace period"},
        {"Solution Control", "Conflux Control.FileParser Properties.Limit input file try attempts"},
        {"Solution Control", "Conflux Control.User Defined DLL Properties.Event Handler"},
        {"Solution Control", "Conflux Control.Python Module Properties.Event Handler"},
        {"Solution Control", "AI Model Control.Update Start Iteration"},
        {"Solution Control", "Transient.Time Varying"},
        {"Solution Control", "Variables.Temperature.Initial Value Option"},
        {"Solution Control", "Reference Temperature"},
        {"IT Equipment", "Cooling.Modelling Level"},
        {"IT Equipment", "Cooling.Liquid Cooling Options.Heat Capture Specification.Liquid Outlet Temperature"},
        {"IT Equipment", "Power.Power Definition.Typical Power"},
        {"IT Equipment", "Simulation Results.Liquid Cooling Performance.Liquid Temperature In"},
        {"Inflow", "Simulation Results.Temperature Net.Mean Temperature Net"},
        {"Inflow", "Simulation Results.Flow Net.Net Flow"},
        {"CDU", "Cooling.Technology Coolant Flow.Coolant Outlet Temperature"},
        {"CDU", "Cooling.Heat Dissipation.Ventilation Mode"},
        {"CDU", "Construction.Cooling Type"},
        {"CDU", "Simulation Results.Facility Coolant.Facility Coolant Flow Rate"},
        {"Controller", "Controls.Mode"},
        {"Fluid", "Density.Altitude Based"},
        {"Fluid", "Specific Heat.Specific Heat Temperature Curve"},
        {"Fluid", "Molecular Weight.Value"},
        {"User Defined DLL", "Windows Library.Dynamic Link Library File"},
        {"User Defined DLL", "Linux Library.Shared Object File"},
        {"User Defined DLL", "Linux Library.Shared Library Path"},
        {"Python Module", "Python Script"},
        {"AI Model", "Identification.Summary"},
        {"AI Model", "Specification.Inputs.Input Values"},
        {"AI Model", "Specification.Outputs.Output Values"},
        {"AI Model Trainer", "Train.Advanced Options.Random Seed.Initial Seed"},
        {"AI Model Trainer", "Train.Advanced Options.Network.Hidden Layers"},
        {"AI Model Trainer", "Train.Advanced Options.Fluids.Technology Coolant Fluid"},
        {"AI Model Evaluator", "Imbalance.Energy"},
    };
    for (const auto& [type, path] : paths)
    {
        SCOPED_TRACE(type + ": " + path);
        const auto entity = DataFactory().createEntity(TypeRef(type));
        EXPECT_NE(entity->findAttribute(path), nullptr);
    }

    // Inside an input or output item of an AI model.
    const auto model = DataFactory().createEntity(AI_Model_t);
    auto* inputs = static_cast<CountedCompositeAttribute*>(model->findAttribute("Specification.Inputs.Input Values"));
    auto* outputs = static_cast<CountedCompositeAttribute*>(model->findAttribute("Specification.Outputs.Output Values"));
    inputs->setCount(1);
    outputs->setCount(1);
    for (const char* path : {"Entity", "AI Model Attribute List", "Attribute", "Selected Attribute.Path", "Value", "Model Unit",
                             "CSV Unit", "Bounds.Has Min", "Bounds.Max", "To Model Transformation.Type",
                             "To Model Transformation.Mean Std Dev Transformation.Std Dev"})
        EXPECT_NE(inputs->getItem(0)->findAttribute(path), nullptr) << path;
    for (const char* path : {"From Model Transformation.Simple Scaling Transformation.Offset", "Training Weight"})
        EXPECT_NE(outputs->getItem(0)->findAttribute(path), nullptr) << path;
}

TEST(BuiltInSchema, ExchangeFlagsAreCoherent)
{
    int shortcuts = 0, redirects = 0, hiddenHeaders = 0, writable = 0;
    for (const auto& entry : builtIn().definitions())
    {
        // Named, not a structured binding: clang 14 does not let the lambda below capture one.
        const TypeRef& type = entry.first;
        const auto& definition = entry.second;
        bool flagged = false;
        forEachAttribute(definition->attributes, "", [&](const AttributeDefinition& d, const std::string& path) {
            SCOPED_TRACE(type.getLabel() + ": " + path);
            const ExchangeDefinition& x = d.exchange;
            flagged = flagged || x.flagged;
            // Results are computed by the solver: an outside controller may read them, never write them.
            if (x.flagged && path.rfind("Simulation Results", 0) == 0)
            {
                EXPECT_TRUE(x.readOnly);
            }
            // A curve reaches the exchange only with a declared type or a redirect.
            if (x.flagged && d.kind == AttributeKind::Curve)
            {
                EXPECT_TRUE(!x.declaredType.empty() || !x.redirect.empty());
            }
            shortcuts += int(x.shortcuts.size());
            redirects += !x.redirect.empty();
            hiddenHeaders += x.hideHeader;
            writable += x.flagged && !x.readOnly;
        });
        // An entity type with flagged attributes can be switched into the exchange.
        if (flagged && type != Project_t)
        {
            SCOPED_TRACE(type.getLabel());
            const auto entity = DataFactory().createEntity(type);
            EXPECT_NE(entity->findAttribute(Conflux_t / Active_t), nullptr);
        }
    }
    EXPECT_GE(shortcuts, 3);
    EXPECT_EQ(redirects, 1);
    EXPECT_GE(hiddenHeaders, 1);
    EXPECT_GE(writable, 10);
}

TEST(SchemaFiles, BadFilesAreRefusedNamingFileAttributeAndProblem)
{
    const std::vector<std::pair<std::string, std::string>> rows{
        {R"({"type": "Rack", "attributes": [)", "not valid JSON at offset 32: unterminated array"},
        {R"({"attributes": []})", "'type' (the entity type's label) is missing"},
        {R"({"type": "Rack", "colour": "red", "attributes": []})", "unknown key 'colour'"},
        {R"({"type": "Rack", "attributes": [{"name": "Height", "kind": "real"}]})",
         "attribute 'Height': unknown or missing 'kind' 'real'"},
        {R"({"type": "Rack", "attributes": [{"name": "Height", "kind": "double", "quantity": "Length", "units": "m"}]})",
         "attribute 'Height': unknown key 'units'"},
        {R"({"type": "Rack", "attributes": [{"name": "Height", "kind": "double", "quantity": "Lenght"}]})",
         "attribute 'Height': unknown quantity 'Lenght'"},
        {R"({"type": "Rack", "attributes": [{"name": "Height", "kind": "double", "quantity": "Length", "unit": "yd"}]})",
         "attribute 'Height': unknown unit 'yd' of Length"},
        {R"({"type": "Rack", "attributes": [{"name": "Height", "kind": "double", "default": 3, "max": 2.5}]})",
         "attribute 'Height': default 3 is outside the bounds"},
        {R"({"type": "Rack", "attributes": [{"name": "Doors", "kind": "int", "default": 1.5}]})",
         "attribute 'Doors': default must be a whole number"},
        {R"({"type": "Rack", "attributes": [{"name": "Door", "kind": "type", "candidates": ["Mesh", "Glass"], "default": "Steel"}]})",
         "attribute 'Door': default 'Steel' is not one of the candidates"},
        {R"({"type": "Rack", "attributes": [{"name": "Rows", "kind": "list", "default": []}]})",
         "attribute 'Rows': unknown key 'default'"},
        {R"({"type": "Rack", "attributes": [{"name": "Cooling", "kind": "composite", "children": [{"name": "Fans", "kind": "int"}, {"name": "Fans", "kind": "bool"}]}]})",
         "attribute 'Cooling.Fans': the name is used twice"},
        {R"({"type": "Rack", "attributes": [{"name": "Items", "kind": "counted"}]})",
         "attribute 'Items': a counted attribute needs an 'item' object"},
        {R"({"type": "Rack", "attributes": [{"name": "Door", "kind": "bool", "hiddenWhen": [{"path": "Open", "in": ["true"], "notIn": ["false"]}]}]})",
         "attribute 'Door': a condition of 'hiddenWhen' needs exactly one of 'in' and 'notIn'"},
        {R"({"type": "Rack", "attributes": [{"name": "Power.Typical", "kind": "double"}]})",
         "every attribute needs a 'name' (a label without '.')"},
    };
    for (const auto& [json, message] : rows)
    {
        SCOPED_TRACE(json);
        const std::string expected = message.rfind("attribute ", 0) == 0 ? "Schema file 'Bad.json', " + message
                                                                         : "Schema file 'Bad.json': " + message;
        EXPECT_EQ(parseError(json), expected);
    }
}

TEST(SchemaFiles, CrossCheckRefusesWhatOneDefinitionSaysWronglyOfAnother)
{
    auto check = [](const std::string& json) {
        try
        {
            SchemaLoader::crossCheck({SchemaLoader::parse(QByteArray::fromStdString(json), "/schema/Rack.json")}, {"/schema/Rack.json"});
        }
        catch (const std::runtime_error& error)
        {
            return std::string(error.what());
        }
        return std::string();
    };
    EXPECT_EQ(check(R"({"type": "Rack", "attributes": [{"name": "Servers", "kind": "list", "linkedTypes": ["Server"]}]})"),
              "Schema file 'Rack.json', attribute 'Servers': links unknown entity type 'Server'");
    EXPECT_EQ(check(R"({"type": "Rack", "attributes": [{"name": "Door", "kind": "type", "candidates": ["Mesh", "Glass"]},
                       {"name": "Vents", "kind": "int", "hiddenWhen": [{"path": "Door", "in": ["Steel"]}]}]})"),
              "Schema file 'Rack.json', attribute 'Vents': 'hiddenWhen' compares 'Door' with 'Steel', which it can never hold");
    EXPECT_EQ(check(R"({"type": "Rack", "attributes": [{"name": "Vents", "kind": "int", "hiddenWhen": [{"path": "Doors", "in": ["1"]}]}]})"),
              "Schema file 'Rack.json', attribute 'Vents': 'hiddenWhen' path 'Doors' leads to no attribute");
    EXPECT_EQ(check(R"({"type": "Rack", "attributes": [{"name": "Load", "kind": "shortcut", "targets": ["Cooling.Load"]}]})"),
              "Schema file 'Rack.json', attribute 'Load': shortcut target 'Cooling.Load' leads to no attribute");
    EXPECT_EQ(check(R"({"type": "Rack", "attributes": [{"name": "Curve", "kind": "curve", "exchange": {"redirect": "Value"}}]})"),
              "Schema file 'Rack.json', attribute 'Curve': redirects to 'Value', which is no sibling");
    EXPECT_EQ(check(R"({"type": "Rack", "attributes": [{"name": "Vents", "kind": "int"}]})"), "");
}
