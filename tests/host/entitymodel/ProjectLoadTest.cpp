// Loading project files: what a load builds is pinned by golden files (the sample and a synthetic
// project, loaded and saved again), files the quick reader leaves to the whole-document reader load
// the same, and refusals keep their messages, also where a file has more than one fault.
#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/DataFactory.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/ProjectFile.h"
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
void expectGolden(const QByteArray& actual, const QString& golden)
{
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
    const auto project = ProjectFile::load(sampleFile);
    expectGolden(ProjectFile::toJson(*project, sampleFile), dataFolder + "/sample-loaded.json");
}

TEST(ProjectLoad, SyntheticProjectLoadsAsTheGoldenFileRecords)
{
    const QByteArray json = syntheticProject();
    const auto project = ProjectFile::fromJson(json, "synthetic.json");
    expectGolden(ProjectFile::toJson(*project), dataFolder + "/synthetic-loaded.json");
    // What the saver wrote reads back to the same text.
    EXPECT_EQ(ProjectFile::toJson(*project).toStdString(), json.toStdString());
}

TEST(ProjectLoad, UnusualLayoutsOfTheSameFileLoadTheSameProject)
{
    const std::string expected =
        ProjectFile::toJson(*ProjectFile::fromJson(syntheticProject(), "a.json")).toStdString();
    const std::vector<std::pair<const char*, QByteArray>> rows{
        {"escaped top-level key", edited(R"("format")", R"("form\u0061t")")},
        {"entities before format and version",
         edited(R"("format": "ConfluxTool project",
    "version": 1,
    "entities": [)",
                R"("entities": [)")
             .replace("\n    ]\n}", "\n    ], \"version\": 1, \"format\": \"ConfluxTool project\"\n}")},
        {"no blanks", QJsonDocument::fromJson(syntheticProject()).toJson(QJsonDocument::Compact)},
        {"byte order mark", QByteArray("\xEF\xBB\xBF") + syntheticProject()},
    };
    for (const auto& [kind, json] : rows)
    {
        SCOPED_TRACE(kind);
        const std::string error = loadError(json);
        if (!error.empty())
        {
            // Whatever the layout, a refusal is the whole-document reader's.
            EXPECT_EQ(error.rfind("bad.json: not valid JSON", 0), 0u) << error;
            continue;
        }
        EXPECT_EQ(ProjectFile::toJson(*ProjectFile::fromJson(json, "a.json")).toStdString(), expected);
    }
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
