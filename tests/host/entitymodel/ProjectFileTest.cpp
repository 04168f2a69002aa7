// Project files: the sample project, round trips of every kind of value, and the refusal of bad
// files with messages that name the file, the entity and the attribute.
#include "host/entitymodel/ProjectFile.h"
#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/DataFactory.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/EntitySaver.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/SchemaLoader.h"
#include "host/entitymodel/ValueAttribute.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

using namespace EntityModel;

namespace
{
const QString sampleFile = QStringLiteral(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json");
const QString dataFolder = QStringLiteral(CONFLUX_TEST_DATA);

QByteArray readFile(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "cannot read " << name.toStdString();
    return file.readAll();
}

void writeFile(const QString& name, const QByteArray& bytes)
{
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

std::map<std::string, int> countByType(Entity* root)
{
    std::vector<Entity*> all{root};
    root->getOwnedChildEntities(all, true, true);
    std::map<std::string, int> counts;
    for (Entity* entity : all)
        ++counts[entity->getTypeRef().getLabel()];
    return counts;
}

Entity* findByName(Entity* root, const std::string& name)
{
    std::vector<Entity*> all;
    root->getOwnedChildEntities(all, true, true, [&](Entity* e) { return e->getName() == name; });
    return all.empty() ? nullptr : all.front();
}

/// The message of the exception that loading the text throws (empty when it loads).
std::string loadError(const QByteArray& json, const QString& fileName = "bad.json")
{
    try
    {
        ProjectFile::fromJson(json, fileName);
    }
    catch (const std::runtime_error& error)
    {
        return error.what();
    }
    return {};
}
} // namespace

TEST(SampleProject, LoadsWithEveryEntityTypeAndItsSettings)
{
    const auto project = ProjectFile::load(sampleFile);
    Entity* root = project->getRootEntity();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->getName(), "Sample Data Centre");

    const std::map<std::string, int> expected{{"Project", 1},
                                              {"Solution Control", 1},
                                              {"Fluid", 3},
                                              {"Flow Network", 1},
                                              {"Flow Network Connection", 1},
                                              {"Room", 1},
                                              {"Cabinet", 2},
                                              {"IT Equipment", 2},
                                              {"Inflow", 2},
                                              {"Outflow", 2},
                                              {"CDU", 1},
                                              {"Air Cooling Unit", 1},
                                              {"Heat Exchanger", 1},
                                              {"Vent", 1},
                                              {"Controller", 1},
                                              {"AI Model", 1},
                                              {"AI Model Attribute", 14},
                                              {"User Defined DLL", 1},
                                              {"Python Module", 1},
                                              {"Event Handler", 3}};
    EXPECT_EQ(countByType(root), expected);

    Entity* control = getLinkedEntity(root, Solution_Control_t);
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(getBoolValue(control, Conflux_Control_t / Active_t));
    EXPECT_TRUE(hasAttributeSetTo(control, Conflux_Control_t / Mode_t, FileParser_t));
    EXPECT_TRUE(
        hasAttributeSetTo(control, Conflux_Control_t / FileParser_Properties_t / File_Mode_t, Default_t));
    EXPECT_EQ(getStandardDoubleValue(control, Conflux_Control_t / FileParser_Properties_t /
                                                  Solver_heart_beat_interval_t),
              5.0);
    EXPECT_EQ(
        getLinkedEntity(control, Conflux_Control_t / Python_Module_Properties_t / Event_Handler_t)->getName(),
        "on_iteration");
    EXPECT_TRUE(getBoolValue(control, AI_Model_Control_t / Active_t));

    Entity* gpu = findByName(root, "GPU Node A02-1");
    ASSERT_NE(gpu, nullptr);
    EXPECT_TRUE(getBoolValue(gpu, HasLiquidCooling_t));
    EXPECT_EQ(getLinkedEntity(gpu, CDULink_t), findByName(root, "CDU 1"));

    Entity* server = findByName(root, "Server A01-1");
    ASSERT_NE(server, nullptr);
    EXPECT_TRUE(hasAttributeSetTo(server, Cooling_t / Modelling_Level_t, AI_Model_t));
    Entity* aiModel = getLinkedEntity(server, AIModelLink_t);
    ASSERT_NE(aiModel, nullptr);
    EXPECT_TRUE(hasAttributeSetTo(aiModel, Model_Type_t, NeuralNetwork_t));
    EXPECT_FALSE(getByteArrayValue(aiModel, NeuralNetwork_Model_Data_t).empty()); // made by make-sample-model
    const AttributePath inputs = Specification_t / Inputs_t / Input_Values_t;
    const AttributePath outputs = Specification_t / Outputs_t / Output_Values_t;
    EXPECT_EQ(getIntValue(aiModel, inputs), 2);
    EXPECT_EQ(getIntValue(aiModel, outputs), 2);
    auto* firstInput = static_cast<CountedCompositeAttribute*>(aiModel->findAttribute(inputs))->getItem(0);
    ASSERT_NE(firstInput, nullptr);
    EXPECT_EQ(getLinkedEntity(firstInput, Entity_t), server);
    EXPECT_EQ(getStandardDoubleValue(firstInput, "Bounds.Max"), 1000.0);
    EXPECT_EQ(getLinkedEntities(firstInput, AI_Model_Attribute_List_t).size(), 8u);

    // Relative file names are read against the project file's folder.
    Entity* module = findByName(root, "controller");
    ASSERT_NE(module, nullptr);
    const QString script = QString::fromStdString(getStringValue(module, Python_File_t));
    EXPECT_TRUE(QFileInfo(script).isAbsolute());
    EXPECT_TRUE(QFileInfo::exists(script)) << script.toStdString();
}

TEST(SampleProject, SaveThenLoadGivesAnEqualProject)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto project = ProjectFile::load(sampleFile);
    const QString copy = folder.filePath("copy.json");
    ProjectFile::save(*project, copy);

    const auto reloaded = ProjectFile::load(copy);
    EXPECT_EQ(ProjectFile::toJson(*reloaded, copy), readFile(copy));
    EXPECT_EQ(ProjectFile::toJson(*reloaded), ProjectFile::toJson(*project));
    EXPECT_EQ(countByType(reloaded->getRootEntity()), countByType(project->getRootEntity()));
}

namespace
{
/// A small valid project; each bad-file case changes one part of it.
const char* smallProject = R"({
    "format": "ConfluxTool project", "version": 1,
    "entities": [
        {"type": "Project", "name": "P", "id": [1, 1], "attributes": {"Solution Control": [1, 2], "Rooms": [[1, 3]]}},
        {"type": "Solution Control", "name": "SC", "id": [1, 2]},
        {"type": "Room", "name": "Hall", "id": [1, 3], "attributes": {"Cabinets": [[1, 4]], "CDUs": [[1, 6]]}},
        {"type": "Cabinet", "name": "Rack", "id": [1, 4], "attributes": {"IT Equipment List": [[1, 5]]}},
        {"type": "IT Equipment", "name": "Server", "id": [1, 5],
         "attributes": {"Cooling": {"Modelling Level": "Detailed"}, "CDULink": [1, 6], "Power": {"Power Definition": {"Typical Power": 800}}}},
        {"type": "CDU", "name": "CDU", "id": [1, 6]}
    ]
})";

struct BadFile
{
    const char* kind;
    std::vector<std::pair<std::string, std::string>> edits; ///< (text, replacement) applied to smallProject
    std::string message;                                    ///< after "bad.json: "
};

QByteArray edited(const BadFile& row)
{
    std::string text = smallProject;
    for (const auto& [from, to] : row.edits)
    {
        const auto at = text.find(from);
        if (at == std::string::npos)
        {
            ADD_FAILURE() << row.kind << ": '" << from << "' is not in the small project";
            continue;
        }
        text.replace(at, from.size(), to);
    }
    return QByteArray::fromStdString(text);
}
} // namespace

TEST(ProjectFileRefusal, SmallProjectLoads)
{
    EXPECT_EQ(loadError(smallProject), "");
}

TEST(ProjectFileRefusal, EachKindOfBadFileIsRefusedWithAMessageNamingFileEntityAndAttribute)
{
    const std::vector<BadFile> rows{
        {"syntax error",
         {{R"("Solution Control": [1, 2],)", R"("Solution Control": [1, 2])"}},
         "not valid JSON (line 4, column 99): unterminated object"},
        {"not a project file",
         {{R"("format": "ConfluxTool project")", R"("format": "Spreadsheet")"}},
         R"(not a project file (it needs "format": "ConfluxTool project"))"},
        {"newer version",
         {{R"("version": 1)", R"("version": 2)"}},
         "project file version 2 is not supported (this program reads version 1)"},
        {"unknown entity type",
         {{R"("type": "CDU")", R"("type": "Coolant Unit")"}},
         "entity 'CDU' (Coolant Unit 1-6): unknown entity type 'Coolant Unit'"},
        {"unknown attribute",
         {{"Modelling Level", "Modeling Level"}},
         "entity 'Server' (IT Equipment 1-5), attribute 'Cooling.Modeling Level': unknown attribute"},
        {"dangling link",
         {{R"("CDULink": [1, 6])", R"("CDULink": [1, 9])"}},
         "entity 'Server' (IT Equipment 1-5), attribute 'CDULink': links entity 1-9, which is not in the "
         "file"},
        {"wrong value type",
         {{R"("Modelling Level": "Detailed")", R"("Modelling Level": 3)"}},
         "entity 'Server' (IT Equipment 1-5), attribute 'Cooling.Modelling Level': expected a label, found a "
         "number"},
        {"wrong value type of a number",
         {{R"("Typical Power": 800)", R"("Typical Power": "800 W")"}},
         "entity 'Server' (IT Equipment 1-5), attribute 'Power.Power Definition.Typical Power': "
         "expected a number (in standard units), found a text"},
        {"duplicate id",
         {{R"("name": "CDU", "id": [1, 6])", R"("name": "CDU", "id": [1, 5])"}},
         "entity 'CDU' (CDU 1-5): ID 1-5 is already used by entity 'Server' (IT Equipment 1-5)"},
        {"value that is no candidate",
         {{R"("Modelling Level": "Detailed")", R"("Modelling Level": "Liquid")"}},
         "entity 'Server' (IT Equipment 1-5), attribute 'Cooling.Modelling Level': 'Liquid' is not one of "
         "Simple, "
         "Detailed, AI Model"},
        {"value out of bounds",
         {{R"("Typical Power": 800)", R"("Typical Power": -5)"}},
         "entity 'Server' (IT Equipment 1-5), attribute 'Power.Power Definition.Typical Power': -5 is below "
         "the minimum 0"},
        {"NaN for a bounded value",
         {{R"("Typical Power": 800)", R"("Typical Power": "NaN")"}},
         "entity 'Server' (IT Equipment 1-5), attribute 'Power.Power Definition.Typical Power': \"NaN\" is "
         "not allowed: "
         "the value is bounded (minimum 0)"},
        {"infinity for a value bounded below",
         {{R"("Typical Power": 800)", R"("Typical Power": "Infinity")"}},
         "entity 'Server' (IT Equipment 1-5), attribute 'Power.Power Definition.Typical Power': \"Infinity\" "
         "is not "
         "allowed: the value is bounded (minimum 0)"},
        {"unknown unit",
         {{R"("Typical Power": 800)", R"("Typical Power": {"value": 800, "unit": "hp"})"}},
         "entity 'Server' (IT Equipment 1-5), attribute 'Power.Power Definition.Typical Power': 'hp' is not "
         "a unit of Power"},
        {"link to an entity of the wrong type",
         {{R"("CDULink": [1, 6])", R"("CDULink": [1, 4])"}},
         "entity 'Server' (IT Equipment 1-5), attribute 'CDULink': links entity 'Rack' (Cabinet 1-4), but "
         "takes only CDU"},
        {"entity owned twice",
         {{R"("Rooms": [[1, 3]])", R"("Rooms": [[1, 3], [1, 7]])"},
          {R"({"type": "CDU", "name": "CDU", "id": [1, 6]})",
           R"({"type": "CDU", "name": "CDU", "id": [1, 6]}, {"type": "Room", "name": "Hall 2", "id": [1, 7], "attributes": {"Cabinets": [[1, 4]]}})"}},
         "entity 'Hall 2' (Room 1-7), attribute 'Cabinets': owns entity 'Rack' (Cabinet 1-4), which "
         "attribute 'Cabinets' "
         "of entity 'Hall' (Room 1-3) owns already"},
        {"entity owned by nobody",
         {{R"({"type": "CDU", "name": "CDU", "id": [1, 6]})",
           R"({"type": "CDU", "name": "CDU", "id": [1, 6]}, {"type": "Fluid", "name": "Oil", "id": [1, 8]})"}},
         "entity 'Oil' (Fluid 1-8): no entity owns it (only the project may stand alone)"},
        {"first entity not a project",
         {{R"("type": "Project")", R"("type": "Fluid")"},
          {R"("attributes": {"Solution Control": [1, 2], "Rooms": [[1, 3]]})", R"("attributes": {})"}},
         "entity 'P' (Fluid 1-1): the first entity of a project file must be a Project"},
        {"link given a number",
         {{R"("name": "CDU", "id": [1, 6]})",
           R"("name": "CDU", "id": [1, 6], "attributes": {"AIModelLink": 3}})"}},
         "entity 'CDU' (CDU 1-6), attribute 'AIModelLink': expected an entity ID [file, serial] or null, "
         "found a number"},
    };
    for (const BadFile& row : rows)
    {
        SCOPED_TRACE(row.kind);
        EXPECT_EQ(loadError(edited(row)), "bad.json: " + row.message);
    }
}

TEST(ProjectFileRefusal, MissingFileIsNamed)
{
    QTemporaryDir folder;
    const QString missing = folder.filePath("missing.json");
    try
    {
        ProjectFile::load(missing);
        FAIL() << "a missing file loaded";
    }
    catch (const std::runtime_error& error)
    {
        EXPECT_EQ(std::string(error.what()),
                  missing.toStdString() + ": cannot be read (No such file or directory)");
    }
}

TEST(ProjectFileRefusal, UnwritableTargetIsNamedAndNothingIsWritten)
{
    QTemporaryDir folder;
    const auto project = ProjectFile::fromJson(smallProject, "small.json");
    const QString target = folder.filePath("no-such-folder/project.json");
    EXPECT_THROW(
        {
            try
            {
                ProjectFile::save(*project, target);
            }
            catch (const std::runtime_error& error)
            {
                EXPECT_EQ(std::string(error.what()), target.toStdString() + ": cannot be written");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_FALSE(QFileInfo::exists(target));
}

namespace
{
std::unique_ptr<Entity> make(TypeRef type, const std::string& name, int serial)
{
    SchemaLoader::ensureBuiltInLoaded();
    auto entity = DataFactory().createEntity(type, name);
    entity->setID(ID{7, serial});
    return entity;
}

Entity* own(CompositeAttribute* owner, const AttributePath& link, std::unique_ptr<Entity> entity)
{
    auto* attribute = static_cast<LinkAttribute*>(owner->findAttribute(link));
    return attribute->adopt(std::move(entity));
}

void set(CompositeAttribute* owner, const AttributePath& path, const std::string& text)
{
    Attribute* attribute = owner->findAttribute(path);
    ASSERT_NE(attribute, nullptr) << path.toString('.');
    ASSERT_TRUE(attribute->setValueFromString(text)) << path.toString('.') << " = " << text;
}

/// A project holding a value of every kind that differs from its default.
std::unique_ptr<Project> everyKindOfValue(const QString& folder)
{
    auto root = make(Project_t, "Every Kind", 1);
    set(root.get(), "Description", "Line 1\n\"quoted\" \\ – ünïcode\ttab");
    Entity* control = own(root.get(), Solution_Control_t, make(Solution_Control_t, "Solution Control", 2));
    set(control, Conflux_Control_t / Active_t, "true");
    set(control, Conflux_Control_t / FileParser_Properties_t / Input_file_try_attempts_t, "7");
    set(control, Conflux_Control_t / Mode_t, "Python Module");
    Entity* water = own(root.get(), "Fluids", make(Fluid_t, "Water", 3));
    static_cast<LinkAttribute*>(root->findAttribute(Project_Fluid_t))->addReference(water);
    auto* curve = static_cast<CurveAttribute*>(
        water->findAttribute(Specific_Heat_t / Specific_Heat_Temperature_Curve_t));
    EXPECT_TRUE(curve->setPoints({{0.0, 4217.0}, {50.0, 4181.0}, {100.0, 4216.0}}));
    EXPECT_TRUE(curve->getXUnit()->setValueFromString("°F"));
    auto* density = static_cast<DoubleAttribute*>(water->findAttribute(Density_t / Value_t));
    density->setStandardVal(998.2071);
    EXPECT_TRUE(density->getUnitAttribute()->setValueFromString("g/cm³"));
    Entity* room = own(root.get(), "Rooms", make(TypeRef("Room"), "Hall", 4));
    Entity* rack = own(room, "Cabinets", make(TypeRef("Cabinet"), "Rack", 5));
    Entity* server = own(rack, "IT Equipment List", make(IT_Equipment_t, "Server", 6));
    set(server, Cooling_t / Modelling_Level_t, "AI Model");
    set(server, Power_t / Power_Definition_t / Typical_Power_t, "0.1");
    Entity* model = own(server, AIModelLink_t, make(AI_Model_t, "Surrogate", 7));
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    set(model, NeuralNetwork_Model_Data_t, bytes);
    auto* inputs = static_cast<CountedCompositeAttribute*>(
        model->findAttribute(Specification_t / Inputs_t / Input_Values_t));
    inputs->setCount(2);
    set(inputs->getItem(1), "Bounds.Has Max", "true");
    set(inputs->getItem(1), "Bounds.Max", "35");
    static_cast<LinkAttribute*>(inputs->getItem(1)->findAttribute(Entity_t))->addReference(server);
    Entity* module = own(root.get(), PythonModulesList_t, make(Python_Module_t, "controller", 8));
    set(module, Source_t, "File");
    set(module, Python_File_t, QDir(folder).filePath("scripts/controller.py").toStdString());
    own(module, Event_Handlers_t, make(Event_Handler_t, "on_iteration", 9));
    return std::make_unique<Project>(std::move(root));
}
} // namespace

TEST(ProjectFileRoundTrip, EveryKindOfValueSurvivesSaveAndLoad)
{
    QTemporaryDir folder;
    const auto original = everyKindOfValue(folder.path());
    const QString file = folder.filePath("every-kind.json");
    ProjectFile::save(*original, file);
    const auto loaded = ProjectFile::load(file);
    EXPECT_EQ(ProjectFile::toJson(*loaded, file), readFile(file));

    Entity* root = loaded->getRootEntity();
    EXPECT_EQ(getStringValue(root, "Description"), "Line 1\n\"quoted\" \\ – ünïcode\ttab");
    Entity* water = getLinkedEntity(root, Project_Fluid_t);
    ASSERT_NE(water, nullptr);
    EXPECT_EQ(water->getName(), "Water");
    EXPECT_EQ(water->getID(), (ID{7, 3}));
    auto* curve = static_cast<CurveAttribute*>(
        water->findAttribute(Specific_Heat_t / Specific_Heat_Temperature_Curve_t));
    EXPECT_EQ(curve->getPoints(),
              (std::vector<CurveAttribute::Point>{{0.0, 4217.0}, {50.0, 4181.0}, {100.0, 4216.0}}));
    EXPECT_EQ(curve->getXUnit()->getValue(), "°F");
    auto* density = static_cast<DoubleAttribute*>(water->findAttribute(Density_t / Value_t));
    EXPECT_EQ(density->standardVal(), 998.2071);
    EXPECT_EQ(density->getUnitAttribute()->getValue(), "g/cm³");

    Entity* server = findByName(root, "Server");
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(getStandardDoubleValue(server, Power_t / Power_Definition_t / Typical_Power_t), 0.1);
    Entity* model = getLinkedEntity(server, AIModelLink_t);
    ASSERT_NE(model, nullptr);
    const Utilities::bytearray bytes = getByteArrayValue(model, NeuralNetwork_Model_Data_t);
    ASSERT_EQ(bytes.size(), 256u);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(static_cast<unsigned char>(bytes[std::size_t(i)]), i);
    auto* inputs = static_cast<CountedCompositeAttribute*>(
        model->findAttribute(Specification_t / Inputs_t / Input_Values_t));
    ASSERT_EQ(inputs->intVal(), 2);
    EXPECT_EQ(getLinkedEntity(inputs->getItem(0), Entity_t), nullptr);
    EXPECT_EQ(getLinkedEntity(inputs->getItem(1), Entity_t), server);
    EXPECT_TRUE(getBoolValue(inputs->getItem(1), "Bounds.Has Max"));
    EXPECT_EQ(getStandardDoubleValue(inputs->getItem(1), "Bounds.Max"), 35.0);

    Entity* control = getLinkedEntity(root, Solution_Control_t);
    EXPECT_EQ(getIntValue(control, Conflux_Control_t / FileParser_Properties_t / Input_file_try_attempts_t),
              7);
    EXPECT_TRUE(hasAttributeSetTo(control, Conflux_Control_t / Mode_t, Python_Module_t));
    Entity* module = findByName(root, "controller");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(getLinkedEntities(module, Event_Handlers_t).size(), 1u);
}

TEST(ProjectFileRoundTrip, FileNamesBelowTheFileAreStoredRelativeToIt)
{
    QTemporaryDir folder;
    const auto project = everyKindOfValue(folder.path());
    const QByteArray here = ProjectFile::toJson(*project, folder.filePath("p.json"));
    EXPECT_TRUE(here.contains(R"("Python File": "scripts/controller.py")")) << here.toStdString();

    QTemporaryDir elsewhere;
    const QByteArray there = ProjectFile::toJson(*project, elsewhere.filePath("p.json"));
    const std::string absolute = QDir(folder.path()).filePath("scripts/controller.py").toStdString();
    EXPECT_TRUE(there.contains(("\"Python File\": \"" + absolute + "\"").c_str())) << there.toStdString();

    // Read from another folder, the relative name is anchored at that file's folder.
    const auto moved = ProjectFile::fromJson(here, elsewhere.filePath("p.json"));
    Entity* module = findByName(moved->getRootEntity(), "controller");
    EXPECT_EQ(getStringValue(module, Python_File_t),
              QDir(elsewhere.path()).filePath("scripts/controller.py").toStdString());
}

TEST(ProjectFileRoundTrip, WriterOutputMatchesTheGoldenFileAndReadsBack)
{
    const QString golden = dataFolder + "/every-kind.json";
    // The golden file was written in a folder named "/project"; anchor it there again.
    const auto project = everyKindOfValue("/project");
    // CONFLUX_UPDATE_GOLDEN=1 rewrites the golden file after a deliberate change of the format.
    if (qEnvironmentVariableIsSet("CONFLUX_UPDATE_GOLDEN"))
        writeFile(golden, ProjectFile::toJson(*project, "/project/every-kind.json"));
    EXPECT_EQ(ProjectFile::toJson(*project, "/project/every-kind.json"), readFile(golden));
    const auto loaded = ProjectFile::fromJson(readFile(golden), "/project/every-kind.json");
    EXPECT_EQ(ProjectFile::toJson(*loaded, "/project/every-kind.json"), readFile(golden));
}

TEST(EntitySaverTest, DetachedEntitiesAndTheirTargetReadBackAsTopLevelEntities)
{
    // As a trainer saves a regression test: the trainer entity, then the equipment it trains.
    SchemaLoader::ensureBuiltInLoaded();
    auto trainer = make(AI_Model_Trainer_t, "", 20);
    auto equipment = make(IT_Equipment_t, "Server", 21);
    static_cast<LinkAttribute*>(trainer->findAttribute(EntityLink_t))->addReference(equipment.get());
    auto* layers = static_cast<CountedCompositeAttribute*>(
        trainer->findAttribute(Train_t / Advanced_Options_t / Network_t / Hidden_Layers_t));
    layers->setCount(3);
    set(layers, AttributePath(layers->itemName(1)), "32");
    set(trainer.get(), Train_t / Advanced_Options_t / Network_t / Generation_Mode_t, "Advanced");

    QTemporaryDir folder;
    const QString file = folder.filePath("regression.json");
    DataFactory factory;
    ASSERT_TRUE(EntitySaver(factory).save({trainer.get(), equipment.get()}, file));

    const auto entities = ProjectFile::readEntities(readFile(file), file);
    ASSERT_EQ(entities.size(), 2u);
    EXPECT_EQ(entities[0]->getTypeRef(), AI_Model_Trainer_t);
    EXPECT_EQ(getLinkedEntity(entities[0].get(), EntityLink_t), entities[1].get());
    auto* readLayers = static_cast<CountedCompositeAttribute*>(
        entities[0]->findAttribute(Train_t / Advanced_Options_t / Network_t / Hidden_Layers_t));
    ASSERT_EQ(readLayers->intVal(), 3);
    EXPECT_EQ(readLayers->getChild(0)->intVal(), 16);
    EXPECT_EQ(readLayers->getChild(1)->intVal(), 32);
    // A project needs its first entity to be a project: the same file is no project.
    EXPECT_EQ(loadError(readFile(file), "regression.json"),
              "regression.json: entity '' (AI Model Trainer 7-20): the first entity of a project file must "
              "be a Project");
}
