// confluxtool set, run as a program on copies of the sample project.
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/ProjectFile.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace EntityModel;

namespace
{
const QString sampleFile = QStringLiteral(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json");

struct CliRun
{
    int status = -1;
    std::string out, err;
};

CliRun confluxtool(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(CONFLUX_CLI), arguments);
    CliRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

QByteArray contents(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

Entity* named(Entity* root, const std::string& name)
{
    std::vector<Entity*> all;
    root->getOwnedChildEntities(all);
    for (Entity* e : all)
        if (e->getName() == name)
            return e;
    return nullptr;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}
} // namespace

TEST(SetCommand, SwitchingToAnAIModelAndBackRoundTrips)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("p.json");
    const CliRun on =
        confluxtool({"set", sampleFile, "-o", out, "GPU Node A02-1", "Cooling.Modelling Level=AI Model"});
    ASSERT_EQ(on.status, 0) << on.err;
    EXPECT_TRUE(contains(on.out,
                         "Data Hall 1/Rack A02/GPU Node A02-1: Cooling.Modelling Level = AI Model (was "
                         "Detailed)\n  created AI Model 'Data Hall 1/Rack A02/GPU Node A02-1/GPU Node A02-1 AI "
                         "Model'\n"))
        << on.out;
    // The model it made answers to its name, and to the path the edit printed.
    for (const char* name : {"GPU Node A02-1 AI Model", "Data Hall 1/Rack A02/GPU Node A02-1/GPU Node A02-1 AI Model"})
    {
        SCOPED_TRACE(name);
        const CliRun named = confluxtool({"set", out, "-o", out + ".named.json", name, "Identification.Description=gpu"});
        EXPECT_EQ(named.status, 0) << named.err;
        EXPECT_TRUE(contains(named.out, "Identification.Description = gpu (was empty)")) << named.out;
    }
    EXPECT_TRUE(contains(on.out, "Saved " + out.toStdString())) << on.out;
    {
        const auto project = ProjectFile::load(out);
        EXPECT_NE(getLinkedEntity(named(project->getRootEntity(), "GPU Node A02-1"), AIModelLink_t), nullptr);
    }
    const CliRun info = confluxtool({"info", out});
    EXPECT_TRUE(contains(info.out, "for IT Equipment GPU Node A02-1, in use")) << info.out;
    EXPECT_TRUE(contains(
        info.out, "candidates              2: Flow Rate, Temperature\n      choice                  valid"))
        << info.out;

    const CliRun back =
        confluxtool({"set", out, "IT Equipment:GPU Node A02-1", "Cooling.Modelling Level=Detailed"});
    ASSERT_EQ(back.status, 0) << back.err;
    EXPECT_TRUE(
        contains(back.out, "  deleted AI Model 'Data Hall 1/Rack A02/GPU Node A02-1/GPU Node A02-1 AI Model'\n"))
        << back.out;
    // The project is the sample again.
    EXPECT_EQ(ProjectFile::toJson(*ProjectFile::load(out), out).toStdString(),
              ProjectFile::toJson(*ProjectFile::load(sampleFile), out).toStdString());
}

TEST(SetCommand, ValuesWithUnitsLinksAndDerivedDataAreSavedInPlace)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("p.json");
    ASSERT_TRUE(QFile::copy(sampleFile, file));
    const CliRun run = confluxtool(
        {"set", file, "Server A01-1 Surrogate",
         "Specification.Inputs.Input Values.Input Value 1.Entity=Server A01-1 Inlet",
         "Specification.Inputs.Input Values.Input Value 1.Attribute=Simulation Results.Flow Net.Net Flow"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "Input Value 1.Entity = Server A01-1 Inlet (was Server A01-1)")) << run.out;
    EXPECT_TRUE(contains(run.out, "Derived data: 0 created, 8 changed, 6 deleted\n")) << run.out;
    const CliRun power =
        confluxtool({"set", file, "Server A01-1", "Power.Power Definition.Typical Power=0.7 kW"});
    ASSERT_EQ(power.status, 0) << power.err;
    EXPECT_TRUE(contains(power.out, "Typical Power = 700 W (was 650 W)")) << power.out;

    const auto project = ProjectFile::load(file);
    Entity* root = project->getRootEntity();
    EXPECT_DOUBLE_EQ(
        getStandardDoubleValue(named(root, "Server A01-1"), "Power.Power Definition.Typical Power"), 700.0);
    CompositeAttribute* input =
        named(root, "Server A01-1 Surrogate")
            ->findComposite(AttributePath("Specification.Inputs.Input Values.Input Value 1"));
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(getLinkedEntity(input, Entity_t), named(root, "Server A01-1 Inlet"));
    EXPECT_EQ(getLinkedEntities(input, AI_Model_Attribute_List_t).size(), 2u);
    EXPECT_EQ(getStringValue(input, "Selected Attribute.Path"), "Simulation Results.Flow Net.Net Flow");
}

TEST(SetCommand, RefusedEditsLeaveTheFilesUntouched)
{
    struct Case
    {
        std::vector<const char*> edits;
        std::string message;
    };
    const Case cases[] = {
        {{"Nope=1"},
         "edit 'Nope=1' on IT Equipment 'Data Hall 1/Rack A01/Server A01-1' refused: no attribute 'Nope'"},
        {{"Power.Power Definition.Typical Power=warm"}, "refused: 'warm' is not a number"},
        {{"Power.Power Definition.Typical Power=5 K"}, "refused: 'K' is not a unit of Power"},
        {{"Power.Power Definition.Typical Power=-5"}, "refused: -5 is below the minimum 0"},
        {{"Cooling.Modelling Level=Liquid"}, "refused: 'Liquid' is not one of Simple, Detailed, AI Model"},
        {{"Cooling.Modelling Level="}, "refused: '' is not one of Simple, Detailed, AI Model"},
        {{"CDULink=Rack A01"},
         "refused: a link to an entity of the wrong type: Cabinet 'Data Hall 1/Rack A01' is no CDU"},
        {{"CDULink=Nobody"}, "refused: the project has no entity named 'Nobody'"},
        {{"AIModelLink=CDU 1"}, "refused: the link owns its entities"},
        {{"Identification"}, "refused: an edit is PATH=VALUE"},
        // A good edit before a refused one is not saved either.
        {{"Cooling.Modelling Level=Detailed", "Power.Power Type=Most"}, "edit 'Power.Power Type=Most'"},
    };
    QTemporaryDir dir;
    const QString file = dir.filePath("p.json"), other = dir.filePath("out.json");
    ASSERT_TRUE(QFile::copy(sampleFile, file));
    const QByteArray original = contents(file);
    // Each program start loads the AI libraries: in place and with -o take turns.
    bool inPlace = true;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.message);
        QStringList arguments{"set", file};
        if (!inPlace)
            arguments << "-o" << other;
        inPlace = !inPlace;
        arguments << "Server A01-1";
        for (const char* edit : c.edits)
            arguments << edit;
        const CliRun run = confluxtool(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(contains(run.err, c.message)) << run.err;
        EXPECT_TRUE(contains(run.err, "nothing was saved")) << run.err;
        EXPECT_EQ(contents(file), original);
        EXPECT_FALSE(QFile::exists(other));
    }
    const CliRun unknown = confluxtool({"set", file, "Nobody", "Name=x"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err, "confluxtool set: the project has no entity named 'Nobody'; nothing was saved\n");
    const CliRun missing = confluxtool({"set", file, "Server A01-1"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(contains(missing.err, "at least one PATH=VALUE edit is needed")) << missing.err;
    EXPECT_EQ(contents(file), original);
}

TEST(SetCommand, ASharedNameIsRefusedAndAPathOrIDPicksTheEntity)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("p.json");
    {
        // Both equipment inlets named "Inlet", as projects often name them.
        const auto project = ProjectFile::load(sampleFile);
        named(project->getRootEntity(), "Server A01-1 Inlet")->setName("Inlet");
        named(project->getRootEntity(), "GPU Node A02-1 Inlet")->setName("Inlet");
        ProjectFile::save(*project, file);
    }
    const QByteArray original = contents(file);
    const CliRun shared = confluxtool({"set", file, "Inlet", "Area=0.04"});
    EXPECT_EQ(shared.status, 2);
    EXPECT_EQ(shared.err, "confluxtool set: 'Inlet' names 2 entities; name one by its path or its ID (such as 1-41):\n"
                          "  'Data Hall 1/Rack A01/Server A01-1/Inlet' (Inflow 1-41)\n"
                          "  'Data Hall 1/Rack A02/GPU Node A02-1/Inlet' (Inflow 1-46); nothing was saved\n");
    // A link's target is looked up the same way.
    const CliRun link = confluxtool({"set", file, "Server A01-1", "CDULink=Inlet"});
    EXPECT_EQ(link.status, 2);
    EXPECT_TRUE(contains(link.err, "refused: 'Inlet' names 2 entities")) << link.err;
    EXPECT_EQ(contents(file), original);

    for (const char* name : {"1-46", "Data Hall 1/Rack A02/GPU Node A02-1/Inlet"})
    {
        SCOPED_TRACE(name);
        const CliRun picked = confluxtool({"set", file, "-o", dir.filePath("out.json"), name, "Area=0.04"});
        EXPECT_EQ(picked.status, 0) << picked.err;
        EXPECT_TRUE(contains(picked.out, "Data Hall 1/Rack A02/GPU Node A02-1/Inlet: Area = 0.04 m²")) << picked.out;
    }
}

TEST(SetCommand, AProjectThatCannotBeReadIsBadInput)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("broken.json");
    QFile broken(file);
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("{ not json");
    broken.close();
    const CliRun run = confluxtool({"set", file, "Server A01-1", "Area=1"});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.err, "confluxtool set: ")) << run.err;
    EXPECT_TRUE(contains(run.err, "broken.json")) << run.err;
    const CliRun missing = confluxtool({"set", dir.filePath("none.json"), "Server A01-1", "Area=1"});
    EXPECT_EQ(missing.status, 2) << missing.err;
}
