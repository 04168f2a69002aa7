// Loading project files: what a load builds is pinned by golden files (the sample and a synthetic
// project, loaded and saved again), files the quick reader leaves to the whole-document reader load
// the same, and refusals keep their messages, also where a file has more than one fault.
#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/DataFactory.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/entitymodel/ProjectFileFormat.h"
#include "host/entitymodel/SchemaLoader.h"

#include <QFile>
#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace EntityModel;

namespace
{
const QString sampleFile = QStringLiteral(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json");
const QString dataFolder = QStringLiteral(CONFLUX_TEST_DATA);

QByteArray readBytes(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "cannot read " << name.toStdString();
    return file.readAll();
}

/// Compares with a golden file; CONFLUX_UPDATE_GOLDEN=1 rewrites it after a deliberate change.
/// Paths the load resolves against the checkout are written as $EXAMPLES, so the file holds anywhere.
void expectGolden(QByteArray actual, const QString& golden)
{
    actual.replace(QByteArray(CONFLUX_EXAMPLES_DIR), "$EXAMPLES");
    if (qEnvironmentVariableIsSet("CONFLUX_UPDATE_GOLDEN"))
    {
        QFile file(golden);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(actual);
    }
    EXPECT_EQ(actual.toStdString(), readBytes(golden).toStdString());
}

Entity* adopt(CompositeAttribute* owner, const char* link, TypeRef type, const std::string& name, int& serial)
{
    auto entity = DataFactory().createEntity(type, name);
    entity->setID(ID{3, ++serial});
    return static_cast<LinkAttribute*>(owner->findAttribute(link))->adopt(std::move(entity));
}

void set(CompositeAttribute* owner, const AttributePath& path, const std::string& text)
{
    Attribute* attribute = owner->findAttribute(path);
    ASSERT_NE(attribute, nullptr) << path.toString('.');
    ASSERT_TRUE(attribute->setValueFromString(text)) << path.toString('.') << " = " << text;
}

/// Rooms of racks of servers (shared CDUs, values in other units, counted items, curves): the shape of
/// the large projects the loader is tuned for, small enough for a golden file.
QByteArray syntheticProject()
{
    SchemaLoader::ensureBuiltInLoaded();
    int serial = 0;
    auto root = DataFactory().createEntity(Project_t, "Synthetic");
    root->setID(ID{3, ++serial});
    adopt(root.get(), "Solution Control", Solution_Control_t, "Solution Control", serial);
    Entity* water = adopt(root.get(), "Fluids", Fluid_t, "Water", serial);
    static_cast<LinkAttribute*>(root->findAttribute(Project_Fluid_t))->addReference(water);
    auto* curve = static_cast<CurveAttribute*>(
        water->findAttribute(Specific_Heat_t / Specific_Heat_Temperature_Curve_t));
    EXPECT_TRUE(curve->setPoints({{0.0, 4217.0}, {50.0, 4181.0}}));
    EXPECT_TRUE(curve->getYUnit()->setValueFromString("kJ/(kg·K)"));
    for (int r = 0; r < 2; ++r)
    {
        Entity* room = adopt(root.get(), "Rooms", TypeRef("Room"), "Room " + std::to_string(r + 1), serial);
        Entity* cdu = adopt(room, "CDUs", CDU_t, "CDU", serial);
        for (int c = 0; c < 3; ++c)
        {
            Entity* rack =
                adopt(room, "Cabinets", TypeRef("Cabinet"), "Rack " + std::to_string(c + 1), serial);
            for (int s = 0; s < 4; ++s)
            {
                Entity* server = adopt(rack, "IT Equipment List", IT_Equipment_t, "Server", serial);
                set(server, Power_t / Power_Definition_t / Typical_Power_t, std::to_string(300 + s * 25));
                auto* power = static_cast<DoubleAttribute*>(
                    server->findAttribute(Power_t / Power_Definition_t / Typical_Power_t));
                if (s == 1)
                {
                    EXPECT_TRUE(power->getUnitAttribute()->setValueFromString("kW"));
                }
                set(server, Conflux_t / Active_t, s % 2 ? "true" : "false");
                static_cast<LinkAttribute*>(server->findAttribute(CDULink_t))->addReference(cdu);
                adopt(server, "Inflows", Inflow_t, "Inlet", serial);
                adopt(server, "Outflows", Outflow_t, "Exhaust", serial);
            }
        }
        if (r == 0)
        {
            Entity* server = room->getOwnedChildEntitiesOfType(IT_Equipment_t).front();
            set(server, Cooling_t / Modelling_Level_t, "AI Model");
            Entity* model = adopt(server, "AIModelLink", AI_Model_t, "Surrogate", serial);
            auto* inputs = static_cast<CountedCompositeAttribute*>(
                model->findAttribute(Specification_t / Inputs_t / Input_Values_t));
            inputs->setCount(3);
            set(inputs->getItem(2), "Bounds.Has Max", "true");
            set(inputs->getItem(2), "Bounds.Max", "35");
            static_cast<LinkAttribute*>(inputs->getItem(1)->findAttribute(Entity_t))->addReference(cdu);
        }
    }
    return ProjectFile::toJson(Project(std::move(root)));
}

std::string loadError(const QByteArray& json)
{
    try
    {
        ProjectFile::fromJson(json, "bad.json");
    }
    catch (const std::runtime_error& error)
    {
        return error.what();
    }
    return {};
}

/// The synthetic project with one change of its text.
QByteArray edited(const std::string& from, const std::string& to)
{
    std::string text = syntheticProject().toStdString();
    const auto at = text.find(from);
    if (at == std::string::npos)
    {
        ADD_FAILURE() << "'" << from << "' is not in the synthetic project";
        return {};
    }
    text.replace(at, from.size(), to);
    return QByteArray::fromStdString(text);
}
} // namespace

TEST(ProjectLoad, SampleLoadsAsTheGoldenFileRecords)
{
    const int documentReads = ProjectFileFormat::wholeDocumentReads();
    const auto project = ProjectFile::load(sampleFile);
    EXPECT_EQ(ProjectFileFormat::wholeDocumentReads(), documentReads)
        << "the sample was not read entity by entity";
    expectGolden(ProjectFile::toJson(*project, sampleFile), dataFolder + "/sample-loaded.json");
}

TEST(ProjectLoad, SyntheticProjectLoadsAsTheGoldenFileRecords)
{
    const QByteArray json = syntheticProject();
    const int documentReads = ProjectFileFormat::wholeDocumentReads();
    const auto project = ProjectFile::fromJson(json, "synthetic.json");
    EXPECT_EQ(ProjectFileFormat::wholeDocumentReads(), documentReads);
    expectGolden(ProjectFile::toJson(*project), dataFolder + "/synthetic-loaded.json");
    // What the saver wrote reads back to the same text.
    EXPECT_EQ(ProjectFile::toJson(*project).toStdString(), json.toStdString());
}

TEST(ProjectLoad, UnusualLayoutsOfTheSameFileLoadTheSameProject)
{
    const std::string expected =
        ProjectFile::toJson(*ProjectFile::fromJson(syntheticProject(), "a.json")).toStdString();
    struct Row
    {
        const char* kind;
        QByteArray json;
        bool streamed; ///< read entity by entity rather than as one document
    };
    const std::vector<Row> rows{
        {"escaped top-level key", edited(R"("format")", R"("form\u0061t")"), false},
        {"entities before format and version",
         edited(R"("format": "ConfluxTool project",
    "version": 1,
    "entities": [)",
                R"("entities": [)")
             .replace("\n    ]\n}", "\n    ], \"version\": 1, \"format\": \"ConfluxTool project\"\n}"),
         true},
        {"no blanks", QJsonDocument::fromJson(syntheticProject()).toJson(QJsonDocument::Compact), true},
        {"byte order mark", QByteArray("\xEF\xBB\xBF") + syntheticProject(), false},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.kind);
        const int documentReads = ProjectFileFormat::wholeDocumentReads();
        const std::string error = loadError(row.json);
        if (!error.empty())
        {
            // Whatever the layout, a refusal is the whole-document reader's.
            EXPECT_EQ(error.rfind("bad.json: not valid JSON", 0), 0u) << error;
            continue;
        }
        EXPECT_EQ(ProjectFileFormat::wholeDocumentReads() == documentReads, row.streamed);
        EXPECT_EQ(ProjectFile::toJson(*ProjectFile::fromJson(row.json, "a.json")).toStdString(), expected);
    }
}

TEST(ProjectLoad, EscapesInsideEntitiesAreReadEntityByEntity)
{
    const int documentReads = ProjectFileFormat::wholeDocumentReads();
    const auto project = ProjectFile::fromJson(
        edited(R"("name": "Water")", R"("name": "W\"a\\ter \u00e9 [1, 2] }")"), "a.json");
    EXPECT_EQ(ProjectFileFormat::wholeDocumentReads(), documentReads);
    Entity* water =
        static_cast<LinkAttribute*>(project->getRootEntity()->findAttribute(Project_Fluid_t))->getTarget();
    ASSERT_NE(water, nullptr);
    EXPECT_EQ(water->getName(), "W\"a\\ter \u00e9 [1, 2] }");
}

TEST(ProjectLoad, OwnershipCyclesAreRefusedNamingTheFirstEntityLeadingIntoOne)
{
    // No built-in type can own its own kind, so a test type does, for this test only.
    SchemaLoader::ensureBuiltInLoaded();
    struct SchemaRestorer
    {
        Schema saved = Schema::instance();
        ~SchemaRestorer() { Schema::instance() = saved; }
    } restorer;
    AttributeDefinition children;
    children.kind = AttributeKind::List;
    children.name = TypeRef("Children");
    children.owning = true;
    children.linkedTypes = {TypeRef("Tree Node")};
    Schema::instance().add(EntityDefinition{TypeRef("Tree Node"), {children}, {}, {}});

    auto node = [](const char* name, int serial, const char* children)
    {
        return std::string(R"({"type": "Tree Node", "name": ")") + name + R"(", "id": [1, )" +
               std::to_string(serial) + R"(], "attributes": {"Children": [)" + children + "]}}";
    };
    auto file = [](const std::vector<std::string>& entities)
    {
        std::string text = R"({"format": "ConfluxTool project", "version": 1, "entities": [)";
        for (std::size_t i = 0; i < entities.size(); ++i)
            text += (i ? ", " : "") + entities[i];
        return QByteArray::fromStdString(text + "]}");
    };
    const std::vector<std::pair<QByteArray, std::string>> rows{
        {file({node("A", 1, "[1, 2]"), node("B", 2, "[1, 1]")}), "entity 'A' (Tree Node 1-1)"},
        {file({node("D", 4, ""), node("A", 1, "[1, 2], [1, 4]"), node("B", 2, "[1, 1]")}),
         "entity 'D' (Tree Node 1-4)"},
        {file({node("R", 9, ""), node("C", 3, "[1, 3]")}), "entity 'C' (Tree Node 1-3)"},
    };
    for (const auto& [json, entity] : rows)
    {
        SCOPED_TRACE(json.toStdString());
        std::string error;
        try
        {
            ProjectFile::readEntities(json, "tree.json");
        }
        catch (const std::runtime_error& e)
        {
            error = e.what();
        }
        EXPECT_EQ(error, "tree.json: " + entity + ": is part of an ownership cycle");
    }
    // A tree of them reads.
    EXPECT_EQ(ProjectFile::readEntities(
                  file({node("A", 1, "[1, 2]"), node("B", 2, "[1, 3]"), node("C", 3, "")}), "tree.json")
                  .size(),
              1u);
}

TEST(ProjectLoad, TheFirstFaultInReadingOrderIsReported)
{
    // File level before entities, entities before their attributes, attributes before links.
    struct Row
    {
        const char* kind;
        std::vector<std::pair<std::string, std::string>> edits;
        std::string message; ///< after "bad.json: "
    };
    const std::vector<Row> rows{
        {"syntax error after a bad entity",
         {{R"("type": "Room")", R"("type": "Hall")"}, {"\n    ]\n}", "\n    ]\n"}},
         "not valid JSON (line 453, column 1): unterminated object"},
        {"unknown top-level key after the entities",
         {{"\n    ]\n}", "\n    ], \"comment\": 1\n}"}, {R"("type": "Room")", R"("type": "Hall")"}},
         "unknown key 'comment'"},
        {"entity error after an attribute error",
         {{R"("Typical Power": 300)", R"("Typical Power": "300")"},
          {R"("type": "CDU")", R"("type": "Chiller")"}},
         "entity 'CDU' (Chiller 3-5): unknown entity type 'Chiller'"},
        {"attribute error after a dangling link",
         {{R"("CDULink": [3, 5])", R"("CDULink": [3, 999])"},
          {R"("Typical Power": 350)", R"("Typical Power": -1)"}},
         "entity 'Server' (IT Equipment 3-13), attribute 'Power.Power Definition.Typical Power': -1 is below "
         "the minimum 0"},
        {"entity that is not an object",
         {{R"({
            "type": "Solution Control")",
           R"(7, {
            "type": "Solution Control")"}},
         "entity number 2: an entity must be an object, not a number"},
        {"unknown entity key",
         {{R"("name": "Water")", R"("nom": "Water")"}},
         "entity number 86: unknown key 'nom'"},
        {"name that is no text",
         {{R"("name": "Water")", R"("name": 5)"}},
         "entity number 86: 'name' must be a text"},
        {"missing type",
         {{R"("type": "Fluid", )", ""}},
         "entity 'Water': 'type' (the entity type's label) is missing"},
        {"id that is no pair",
         {{R"("name": "Water", "id": [3, 3])", R"("name": "Water", "id": [3, 3.5])"}},
         "entity 'Water': 'id' must be a pair of whole numbers [file, serial]"},
        {"attributes that are no object",
         {{R"("name": "CDU", "id": [3, 5])", R"("name": "CDU", "id": [3, 5], "attributes": [])"}},
         "entity 'CDU' (CDU 3-5): 'attributes' must be an object, not a list"},
        {"a list naming an entity twice",
         {{R"("Cabinets": [[3, 6], )", R"("Cabinets": [[3, 6], [3, 6], )"}},
         "entity 'Room 1' (Room 3-4), attribute 'Cabinets': lists entity 3-6 twice"},
        {"unknown key of a value with a unit",
         {{R"("Typical Power": 300)", R"("Typical Power": {"value": 300, "units": "W"})"}},
         "entity 'Server' (IT Equipment 3-7), attribute 'Power.Power Definition.Typical Power': unknown key "
         "'units' (a value with a unit has 'value' and 'unit')"},
        {"curve points out of order",
         {{"[[0, 4217], [50, 4181]]", "[[50, 4217], [0, 4181]]"}},
         "entity 'Water' (Fluid 3-3), attribute 'Specific Heat.Specific Heat Temperature Curve': curve "
         "points "
         "must be finite numbers with x increasing"},
        {"curve axis unit of another quantity",
         {{R"("xUnit": "°C")", R"("xUnit": "m")"}},
         "entity 'Water' (Fluid 3-3), attribute 'Specific Heat.Specific Heat Temperature Curve': 'm' is not "
         "a "
         "unit of Temperature"},
        {"fraction for a whole number",
         {{R"("name": "Solution Control", "id": [3, 2])",
           R"("name": "Solution Control", "id": [3, 2], "attributes": {"Conflux Control": {"FileParser Properties": {"Input file try attempts": 2.5}}})"}},
         "entity 'Solution Control' (Solution Control 3-2), attribute 'Conflux Control.FileParser "
         "Properties.Input file try attempts': expected a whole number, found a number"},
        {"link given half an ID",
         {{R"("CDULink": [3, 5])", R"("CDULink": [3])"}},
         "entity 'Server' (IT Equipment 3-7), attribute 'CDULink': expected an entity ID [file, serial] or "
         "null, found a list"},
        {"counted item of the wrong kind",
         {{R"("Input Values": [{}, )", R"("Input Values": [7, )"}},
         "entity 'Surrogate' (AI Model 3-45), attribute 'Specification.Inputs.Input Values.Input Value 1': "
         "expected an object, found a number"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.kind);
        std::string text = syntheticProject().toStdString();
        for (const auto& [from, to] : row.edits)
        {
            const auto at = text.find(from);
            ASSERT_NE(at, std::string::npos) << from;
            text.replace(at, from.size(), to);
        }
        EXPECT_EQ(loadError(QByteArray::fromStdString(text)), "bad.json: " + row.message);
    }
}
