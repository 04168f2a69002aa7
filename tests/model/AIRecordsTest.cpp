#include "ModelTestSupport.h"

#include "src/model/EntityCollection.h"
#include "src/model/ai/AIFunctor.h"
#include "host/filesystem/BinaryDataIStream.h"
#include "host/filesystem/BinaryDataOStream.h"
#include "host/filesystem/TextDataIStream.h"
#include "host/filesystem/TextDataOStream.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace ModelTest;
using Conflux::AIFunctor;
using Conflux::AIModuleDefinition;
using Conflux::AIModuleDefinitionCollection;
using AISystem::ModuleType;

namespace
{
std::unique_ptr<AIModuleDefinition> definition(ModuleType type, std::string bytes)
{
    return std::make_unique<AIModuleDefinition>(type, Utilities::toByteArray(bytes));
}

struct Model
{
    std::unique_ptr<Entity> root = std::make_unique<Entity>("Project", "P", AccessType::ReadWrite, nullptr);
    ValueAttribute<double>* inlet = add(*root, makeValue("Inlet", 20.0, AccessType::ReadOnly, "C"));
    ValueAttribute<double>* outlet = add(*root, makeValue("Outlet", 30.0, AccessType::ReadWrite, "C"));
};
} // namespace

TEST(AIModuleDefinitionCollection, EqualDefinitionsAreHeldOnce)
{
    AIModuleDefinitionCollection collection;
    auto first = definition(ModuleType::ONNX, "abc");
    const AIModuleDefinition* firstAddress = first.get();
    auto [held, taken] = collection.insertDefinition(std::move(first));
    EXPECT_TRUE(taken);
    EXPECT_EQ(held, firstAddress);

    auto same = definition(ModuleType::ONNX, "abc");
    auto [heldSame, takenSame] = collection.insertDefinition(std::move(same));
    EXPECT_FALSE(takenSame);
    EXPECT_EQ(heldSame, firstAddress);
    ASSERT_NE(same, nullptr) << "a definition not taken stays with the caller";

    EXPECT_TRUE(collection.insertDefinition(definition(ModuleType::TorchScript, "abc")).second);
    EXPECT_TRUE(collection.insertDefinition(definition(ModuleType::ONNX, "abd")).second);
    EXPECT_EQ(collection.insertDefinition(nullptr), std::make_pair(static_cast<AIModuleDefinition*>(nullptr), false));
    EXPECT_EQ(collection.size(), 3u);
    EXPECT_FALSE(collection.hasPython());
    collection.insertDefinition(definition(ModuleType::Python, "def evaluate(x): return x"));
    EXPECT_TRUE(collection.hasPython());
}

TEST(AIModuleDefinitionCollection, CopiesAreDeepAndFunctorsRebind)
{
    AIModuleDefinitionCollection collection;
    AIModuleDefinition* held = collection.insertDefinition(definition(ModuleType::NeuralNetwork, "net")).first;
    AIFunctor functor("model", nullptr, {}, {}, held);
    AIModuleDefinitionCollection copy = collection;
    EXPECT_TRUE(copy == collection);
    EXPECT_NE(copy.at(0), held);
    functor.rebind(copy);
    EXPECT_EQ(functor.getDefinition(), copy.at(0));
    functor.rebind(AIModuleDefinitionCollection());
    EXPECT_EQ(functor.getDefinition(), nullptr);
}

TEST(AIFunctor, StreamRoundTripKeepsPathsAndDefinitionsThenResolves)
{
    Model model;
    AIModuleDefinitionCollection definitions;
    definitions.insertDefinition(definition(ModuleType::ONNX, std::string("\0\x01\xff", 3)));
    AIModuleDefinition* python = definitions.insertDefinition(definition(ModuleType::Python, "src")).first;
    const std::vector<AIFunctor> functors{
        AIFunctor("cooler model", model.root.get(), {AIFunctor::Reference(model.inlet)},
                  {AIFunctor::Reference(model.outlet)}, python),
        AIFunctor("no definition", nullptr, {}, {}, nullptr),
    };
    for (bool binary : {true, false})
    {
        SCOPED_TRACE(binary ? "binary" : "text");
        std::stringstream data;
        {
            std::unique_ptr<FileSystem::DataOStream> out;
            if (binary)
                out = std::make_unique<FileSystem::BinaryDataOStream>(data, 1, Utilities::Endianness::Big);
            else
                out = std::make_unique<FileSystem::TextDataOStream>(data);
            definitions.write(*out);
            for (const auto& functor : functors)
                functor.write(*out, definitions);
        }
        std::unique_ptr<FileSystem::DataIStream> in;
        if (binary)
            in = std::make_unique<FileSystem::BinaryDataIStream>(data);
        else
            in = std::make_unique<FileSystem::TextDataIStream>(data);
        AIModuleDefinitionCollection readDefinitions;
        readDefinitions.read(*in);
        std::vector<AIFunctor> back(2);
        for (auto& functor : back)
            functor.read(*in, readDefinitions);
        ASSERT_TRUE(in->good()) << in->errorMessage();
        EXPECT_TRUE(readDefinitions == definitions);
        EXPECT_EQ(back, functors);
        EXPECT_EQ(back[0].getDefinition(), readDefinitions.at(1));
        EXPECT_EQ(back[0].getInputs()[0].get(), nullptr);

        Model other;
        EXPECT_TRUE(back[0].resolve(other.root.get()));
        EXPECT_EQ(back[0].getOwner(), other.root.get());
        EXPECT_EQ(back[0].getInputs()[0].get(), other.inlet);
        EXPECT_EQ(back[0].getOutputs()[0].get(), other.outlet);
        EXPECT_TRUE(back[1].resolve(other.root.get()));
        EXPECT_EQ(back[1].getOwner(), nullptr);
    }
}

TEST(AIFunctor, DefinitionPositionOutsideTheCollectionFailsTheStream)
{
    AIModuleDefinitionCollection definitions;
    AIModuleDefinition* held = definitions.insertDefinition(definition(ModuleType::ONNX, "x")).first;
    std::stringstream data;
    {
        FileSystem::BinaryDataOStream out(data);
        AIFunctor("f", nullptr, {}, {}, held).write(out, definitions);
    }
    FileSystem::BinaryDataIStream in(data);
    AIFunctor back;
    back.read(in, AIModuleDefinitionCollection());
    EXPECT_EQ(in.errorMessage(), "AIFunctor 'f': no module definition 0");
    EXPECT_EQ(back.getDefinition(), nullptr);
}

TEST(AttributeReference, ResolvesByPathAndComparesByPath)
{
    Model model;
    AIFunctor::Reference reference(model.outlet);
    EXPECT_EQ(reference.path(), AttributePath("Project.Outlet"));
    EXPECT_EQ(reference.get(), model.outlet);
    AIFunctor::Reference copy = reference;
    EXPECT_TRUE(copy == reference);
    Model other;
    EXPECT_TRUE(copy.resolve(other.root.get()));
    EXPECT_EQ(copy.get(), other.outlet);
    EXPECT_FALSE(copy.resolve(nullptr));
    EXPECT_EQ(copy.get(), nullptr);
    Conflux::Model::AttributeReference<Entity> entity(AttributePath("Project.Outlet"));
    EXPECT_FALSE(entity.resolve(other.root.get())) << "a value is not an entity";
}

TEST(EntityCollection, OwnsRootsAndMoves)
{
    Conflux::Model::EntityCollection empty(nullptr);
    EXPECT_TRUE(empty.empty());
    EXPECT_EQ(empty.root(), nullptr);
    Model model;
    Entity* root = model.root.get();
    Conflux::Model::EntityCollection collection(std::move(model.root));
    EXPECT_EQ(collection.root(), root);
    empty = std::move(collection);
    EXPECT_EQ(empty.root(), root);
    EXPECT_EQ(empty.resolveFullPath(AttributePath("Project.Inlet")), model.inlet);
}
