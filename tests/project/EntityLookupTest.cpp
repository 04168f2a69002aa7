#include "src/project/EntityLookup.h"

#include "host/entitymodel/Entity.h"
#include "host/entitymodel/ProjectFile.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using Conflux::EntityLookup;
using namespace EntityModel;

namespace
{
/// The sample, with the two equipment inlets sharing the name "Inlet" as real projects do.
struct Sample
{
    Sample()
    {
        serverInlet->setName("Inlet");
        gpuInlet->setName("Inlet");
    }
    Entity* byName(const std::string& name) const { return EntityLookup::find(root, name); }
    std::string refusal(const std::string& name,
                        const std::function<bool(const Entity*)>& accept = nullptr,
                        const std::string& kind = "entity") const
    {
        try
        {
            EntityLookup::find(root, name, accept, kind);
        }
        catch (const EntityLookup::Error& error)
        {
            return error.what();
        }
        return "found";
    }

    std::unique_ptr<Project> project =
        ProjectFile::load(QStringLiteral(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json"));
    Entity* root = project->getRootEntity();
    Entity* serverInlet = EntityLookup::find(root, "Server A01-1 Inlet");
    Entity* gpuInlet = EntityLookup::find(root, "GPU Node A02-1 Inlet");
};
} // namespace

TEST(EntityLookup, EveryFormNamesOneEntity)
{
    Sample s;
    struct Row
    {
        std::string name;
        Entity* expected;
    };
    const Row rows[] = {
        {"Server A01-1", s.serverInlet->getOwnerEntity()},
        {"Data Hall 1/Rack A01/Server A01-1/Inlet", s.serverInlet},
        {s.gpuInlet->getFullDisplayName(), s.gpuInlet},
        {"1-41", s.serverInlet},
        {"1-46", s.gpuInlet},
        {"IT Equipment:GPU Node A02-1", s.gpuInlet->getOwnerEntity()},
        {"Sample Data Centre", s.root},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(s.byName(row.name), row.expected);
    }
    EXPECT_EQ(s.serverInlet->getFullDisplayName(), "Data Hall 1/Rack A01/Server A01-1/Inlet");
}

TEST(EntityLookup, ASharedNameIsRefusedWithTheCandidatesAndHowToPickOne)
{
    Sample s;
    const std::string listing = "'Inlet' names 2 entities; name one by its path or its ID (such as 1-41):\n"
                                "  'Data Hall 1/Rack A01/Server A01-1/Inlet' (Inflow 1-41)\n"
                                "  'Data Hall 1/Rack A02/GPU Node A02-1/Inlet' (Inflow 1-46)";
    EXPECT_EQ(s.refusal("Inlet"), listing);
    EXPECT_EQ(s.refusal("Inflow:Inlet"), s.refusal("Inlet").replace(1, 5, "Inflow:Inlet"));
    // Every path and ID the listing offers picks its entity.
    EXPECT_EQ(s.byName("Data Hall 1/Rack A02/GPU Node A02-1/Inlet"), s.gpuInlet);
}

TEST(EntityLookup, NamesThatFindNothingSayWhatWasLookedFor)
{
    Sample s;
    EXPECT_EQ(s.refusal("Nowhere"), "the project has no entity named 'Nowhere'");
    const auto equipment = [](const Entity* e) { return e->getTypeRef() == IT_Equipment_t; };
    EXPECT_EQ(s.refusal("Inlet", equipment, "IT equipment item"),
              "the project has no IT equipment item named 'Inlet'");
    EXPECT_EQ(s.refusal("1-41", equipment, "IT equipment item"),
              "the project has no IT equipment item named '1-41'");
    EXPECT_EQ(EntityLookup::find(s.root, "1-45", equipment), s.gpuInlet->getOwnerEntity());
    EXPECT_EQ(s.refusal("Inlet", nullptr, "entity").substr(0, 22), "'Inlet' names 2 entiti");
}
