#include "host/entitymodel/TypeRef.h"
#include "host/entitymodel/AttributePath.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>
#include <vector>

using namespace EntityModel;

TEST(TypeRef, ConstantLabelReadsUnderscoresAsBlanks)
{
    EXPECT_EQ(Conflux_Control_t.getLabel(), "Conflux Control");
    EXPECT_EQ(Client_heartbeat_check_grace_period_t.getLabel(), "Client heartbeat check grace period");
    EXPECT_EQ(AIModelLink_t.getLabel(), "AIModelLink");
    EXPECT_EQ(TypeRef().getLabel(), "");
    EXPECT_TRUE(TypeRef().empty());
}

TEST(TypeRef, TextAndConstantAreTheSameTypeRef)
{
    EXPECT_EQ(TypeRef("Conflux Control"), Conflux_Control_t);
    EXPECT_EQ(TypeRef(std::string("Time Varying")), Time_Varying_t);
    EXPECT_NE(TypeRef("Conflux_Control"), Conflux_Control_t);
    TypeRef fresh("A label no constant has");
    EXPECT_EQ(fresh, TypeRef("A label no constant has"));
    EXPECT_EQ(fresh.getLabel(), "A label no constant has");
}

TEST(TypeRef, UsableAsMapKeyAndHashKey)
{
    std::map<TypeRef, int> byType{{Mode_t, 1}, {TypeRef("Mode"), 2}, {Version_t, 3}};
    EXPECT_EQ(byType.size(), 2u);
    EXPECT_EQ(byType[Mode_t], 1); // the second entry had the same key
    EXPECT_EQ(std::hash<TypeRef>()(TypeRef("Version")), std::hash<TypeRef>()(Version_t));
}

TEST(TypeRef, InterningFromThreadsGivesOneTypeRefPerLabel)
{
    std::vector<TypeRef> seen(8);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back(
            [&seen, i]
            {
                for (int k = 0; k < 200; ++k)
                    TypeRef("threaded " + std::to_string(k));
                seen[i] = TypeRef("threaded 7");
            });
    for (auto& t : threads)
        t.join();
    for (auto t : seen)
        EXPECT_EQ(t, seen.front());
    EXPECT_EQ(seen.front().getLabel(), "threaded 7");
}

TEST(AttributePath, BuiltWithSlashFromConstantsAndTexts)
{
    AttributePath p = Conflux_Control_t / "Force Double Attributes";
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p.front(), Conflux_Control_t);
    EXPECT_EQ(p.back(), TypeRef("Force Double Attributes"));
    EXPECT_EQ(p.toString('.'), "Conflux Control.Force Double Attributes");
    EXPECT_EQ(AttributePath("Bounds.Has Min"), Bounds_t / Has_Min_t);
    EXPECT_EQ((Cooling_t / Modelling_Level_t).toString('/'), "Cooling/Modelling Level");
}

TEST(AttributePath, DottedTextSkipsEmptyParts)
{
    EXPECT_TRUE(AttributePath("").empty());
    EXPECT_TRUE(AttributePath(TypeRef()).empty());
    EXPECT_EQ(AttributePath(".Bounds..Min."), Bounds_t / Min_t);
    EXPECT_EQ(AttributePath("Imbalance/Energy", '/').toString('.'), "Imbalance.Energy");
}

TEST(AttributePath, PrefixAndContainment)
{
    AttributePath p = Simulation_Results_t / Temperature_Net_t / Mean_Temperature_Net_t;
    EXPECT_TRUE(p.startsWith(Simulation_Results_t));
    EXPECT_TRUE(p.startsWith(Simulation_Results_t / Temperature_Net_t));
    EXPECT_FALSE(p.startsWith(Temperature_Net_t));
    EXPECT_FALSE(AttributePath(Simulation_Results_t).startsWith(p));
    EXPECT_TRUE(p.contains(Temperature_Net_t));
    EXPECT_FALSE(p.contains(Results_t));
    EXPECT_TRUE(p.contains(Temperature_Net_t / Mean_Temperature_Net_t));
    EXPECT_FALSE(p.contains(Simulation_Results_t / Mean_Temperature_Net_t));
    EXPECT_EQ(p.withoutFront(), Temperature_Net_t / Mean_Temperature_Net_t);
    EXPECT_TRUE(p.withoutFront(5).empty());
    EXPECT_EQ(p.parent(), Simulation_Results_t / Temperature_Net_t);
}

TEST(AttributePath, OrderedElementByElement)
{
    std::map<AttributePath, int> paths{
        {Mode_t / Version_t, 1}, {Mode_t, 2}, {AttributePath("Mode.Version"), 3}};
    EXPECT_EQ(paths.size(), 2u);
    EXPECT_LT(AttributePath(Mode_t), Mode_t / Version_t);
}
