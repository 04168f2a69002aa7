#include "src/ai/definition/AIFunctorBuilder.h"

#include "AIDefinitionTestSupport.h"
#include "cli/AIFunctorListing.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/filesystem/BinaryDataIStream.h"
#include "src/model/builders/EntityTreeBuilder.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

using namespace AIDefinitionTest;
using Conflux::AIFunctor;
using Conflux::AIFunctorBuilder;
using Conflux::AIModuleGenerator;
namespace Model = Conflux::Model;

namespace
{
/// The test project and its exchange model. Server 1 and Controller 1 use AI models that
/// serialise alike; Server 2 uses one but is not in the exchange; CDU 1 does not use its model.
struct FunctorProject
{
    std::unique_ptr<EntityModel::Project> project = ProjectFile::load(CONFLUX_TEST_DATA "/ai-functors.json");
    Model::EntityTree tree;

    Entity* entity(const std::string& name) const
    {
        std::vector<Entity*> all;
        project->getRootEntity()->getOwnedChildEntities(all);
        for (Entity* e : all)
            if (e->getName() == name)
                return e;
        throw std::runtime_error("no entity " + name);
    }
    CompositeAttribute* value(const std::string& model, bool input, std::size_t n) const
    {
        return AIModuleGenerator::findValueList(entity(model), input)->getItem(n);
    }
    /// The exchange node of a project entity or of its attribute at `path`.
    Model::Attribute* exchange(const std::string& name, const char* path = "") const
    {
        const auto found = tree.second.find(*path ? entity(name)->findAttribute(path) : entity(name));
        return found == tree.second.end() ? nullptr : found->second;
    }
    std::pair<std::vector<AIFunctor>, Conflux::AIModuleDefinitionCollection> create()
    {
        tree = Model::EntityTreeBuilder::create(project->getRootEntity(), Model::AccessType::ReadWrite, true,
                                                false);
        return AIFunctorBuilder::create(project->getRootEntity(), tree.second);
    }
};

std::vector<std::string> names(const std::vector<AIFunctor>& functors)
{
    std::vector<std::string> result;
    for (const AIFunctor& functor : functors)
        result.push_back(functor.getName());
    return result;
}

std::vector<Model::Attribute*> targets(const std::vector<AIFunctor::Reference>& references)
{
    std::vector<Model::Attribute*> result;
    for (const auto& reference : references)
        result.push_back(reference.get());
    return result;
}
} // namespace

TEST(AIFunctorBuilder, OneFunctorPerAIModelInUseWithOwnerAndValuesInListOrder)
{
    FunctorProject p;
    const auto [functors, definitions] = p.create();
    ASSERT_EQ(names(functors),
              (std::vector<std::string>{"Server 1 Surrogate", "Server 2 Surrogate", "Controller Surrogate"}));
    ASSERT_NE(p.exchange("Server 1"), nullptr);
    EXPECT_EQ(functors[0].getOwner(), p.exchange("Server 1"));
    EXPECT_EQ(functors[1].getOwner(), nullptr); // Server 2 is not in the exchange
    EXPECT_EQ(functors[2].getOwner(), p.exchange("Controller 1"));
    EXPECT_EQ(
        targets(functors[0].getInputs()),
        (std::vector<Model::Attribute*>{p.exchange("Server 1 Exhaust", "Temperature"),
                                        p.exchange("Server 1", "Power.Power Definition.Typical Power")}));
    EXPECT_EQ(targets(functors[0].getOutputs()),
              (std::vector<Model::Attribute*>{
                  p.exchange("Server 1 Exhaust", "Flow Rate"),
                  p.exchange("Server 1", "Simulation Results.Mean Inlet Temperature")}));
    EXPECT_NE(functors[0].getInputs()[0].get(), nullptr);
    EXPECT_NE(functors[0].getOutputs()[1].get(), nullptr);
}

TEST(AIFunctorBuilder, OwnersSwitchTheirAIModelOnAndOff)
{
    struct Row
    {
        const char* owner;
        const char* setting;
        TypeRef value;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"Server 1",
         "Cooling.Modelling Level",
         TypeRef("Simple"),
         {"Server 2 Surrogate", "Controller Surrogate"}},
        {"CDU 1",
         "Cooling.Modelling Level",
         AI_Model_t,
         {"Server 1 Surrogate", "Server 2 Surrogate", "CDU Surrogate", "Controller Surrogate"}},
        {"Controller 1", "Controls.Mode", TypeRef("Fixed"), {"Server 1 Surrogate", "Server 2 Surrogate"}},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.owner);
        FunctorProject p;
        Entity* owner = p.entity(row.owner);
        // A copy: the table is returned by value.
        const auto inUse = AIFunctorBuilder::aiModelEntityTypes().at(owner->getTypeRef());
        const bool before = inUse(owner);
        EntityEditor::setValue(owner, row.setting, row.value);
        EXPECT_NE(inUse(owner), before);
        EXPECT_EQ(names(p.create().first), row.expected);
    }
    EXPECT_TRUE(AIFunctorBuilder::create(nullptr, {}).first.empty());
}

TEST(AIFunctorBuilder, UnresolvableValuesFailWithTextsNamingThem)
{
    struct Row
    {
        std::function<void(FunctorProject&)> edit;
        std::string message;
    };
    const Row rows[] = {
        {[](FunctorProject& p)
         { EntityEditor::removeAllEntities(p.value("Server 1 Surrogate", true, 0), Entity_t); },
         "Linked Entity MissingServer 1 Surrogate.Specification.Inputs.Input Values.Input Value 1"},
        {[](FunctorProject& p) {
             EntityEditor::addEntity(p.value("Controller Surrogate", false, 1), Entity_t,
                                     p.entity("Server 2"));
         },
         "Entity is unavailableHall/Rack/Server 2"},
        {[](FunctorProject& p)
         {
             EntityEditor::setValue(p.value("Server 1 Surrogate", true, 1), Attribute_t,
                                    "Power.Power Definition.Nameplate Power");
         },
         "Attribute is unavailable 'Power.Power Definition.Nameplate Power' on Hall/Rack/Server 1"},
        {[](FunctorProject& p)
         { EntityEditor::setValue(p.value("Server 2 Surrogate", false, 0), Attribute_t, ""); },
         "Attribute is unavailable '' on Hall/Rack/Server 1/Server 1 Exhaust"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.message);
        FunctorProject p;
        row.edit(p);
        try
        {
            p.create();
            ADD_FAILURE() << "no exception";
        }
        catch (const std::runtime_error& error)
        {
            EXPECT_EQ(error.what(), row.message);
        }
    }
}

TEST(AIFunctorBuilder, DefinitionsAreBigEndianSolverRecordsSharedByEqualModels)
{
    FunctorProject p;
    const auto [functors, definitions] = p.create();
    ASSERT_EQ(functors.size(), 3u);
    EXPECT_EQ(definitions.size(), 2u);
    EXPECT_EQ(functors[0].getDefinition(), functors[2].getDefinition());
    EXPECT_TRUE(definitions.hasPython());
    for (std::size_t i : {0u, 1u})
    {
        ASSERT_EQ(definitions.indexOf(functors[i].getDefinition()), std::optional<std::size_t>(i));
        std::istringstream bytes(Utilities::toString(functors[i].getDefinition()->getData()));
        FileSystem::BinaryDataIStream stream(bytes);
        AISystem::AISolverInfo info;
        stream >> info;
        ASSERT_TRUE(stream.good()) << stream.errorMessage();
        EXPECT_EQ(stream.version(), 1u);
        EXPECT_EQ(stream.endianness(), Utilities::Endianness::Big);
        EXPECT_EQ(info, AIModuleGenerator::generateAISolverInfo(p.entity(functors[i].getName())));
    }

    // A model without a model type runs without a definition; empty model data passes through.
    Entity* server2Model = p.entity("Server 2 Surrogate");
    server2Model->removeAttribute(server2Model->findAttribute(Model_Type_t));
    EXPECT_EQ(p.create().first[1].getDefinition(), nullptr);
    EntityEditor::setValue(p.entity("Controller Surrogate"), Python_Model_Script_t, "");
    EXPECT_THROW(p.create(), const char*);
}

TEST(AIFunctorListing, ShowsEachFunctorsWiringOrWhyThereIsNone)
{
    FunctorProject p;
    p.create();
    std::ostringstream listing;
    EXPECT_TRUE(ConfluxCli::listAIFunctors(listing, p.project->getRootEntity(), p.tree.second));
    const std::string server = "Project.Rooms.Hall.Cabinets.Rack.IT Equipment List.Server 1";
    EXPECT_NE(listing.str().find("AI functors: 3\n  Server 1 Surrogate (Python), owner " + server +
                                 "\n    input 1: " + server +
                                 ".Outflows.Server 1 Exhaust.Temperature\n    input 2: " + server +
                                 ".Power.Power Definition.Typical Power\n"),
              std::string::npos)
        << listing.str();
    EXPECT_NE(listing.str().find("  Server 2 Surrogate (Python), owner outside the exchange\n"),
              std::string::npos);

    EntityEditor::setValue(p.entity("Controller Surrogate"), Python_Model_Script_t, "");
    std::ostringstream failure;
    EXPECT_FALSE(ConfluxCli::listAIFunctors(failure, p.project->getRootEntity(), p.tree.second));
    EXPECT_EQ(failure.str(), "AI functors: cannot be built: Empty Python Model\n");
}
