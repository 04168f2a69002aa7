#include "host/solver/LinkerAIEventHandler.h"
#include "host/filesystem/BinaryDataIStream.h"
#include "host/filesystem/BinaryDataOStream.h"
#include "host/filesystem/TextDataIStream.h"
#include "host/filesystem/TextDataOStream.h"
#include "host/solver/LinkerCollection.h"
#include "host/solver/LinkerFactory.h"
#include "src/model/ValueAttribute.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace Conflux;
using Model::AccessType;

namespace
{
// The shape of the AI-with-Python linker that the ConfluxTool library builds on this base.
class AIPythonLinker
    : public LinkerBase<AIPythonLinker, LinkerType::AIPythonEventHandler, LinkerAIEventHandler>
{
public:
    using LinkerBase::LinkerBase;
};

// A tiny exchange model: a hall with a cabinet holding an inlet temperature and a power.
struct SmallModel
{
    SmallModel()
    {
        root = std::make_unique<Model::Entity>("Project", "Hall", AccessType::ReadWrite, nullptr);
        cabinet = static_cast<Model::Entity*>(root->addAttribute(
            std::make_unique<Model::Entity>("Cabinet", "Rack 1", AccessType::ReadWrite, root.get())));
        inlet = cabinet->addAttribute(std::make_unique<Model::ValueAttribute<double>>(
            "Inlet Temperature", AccessType::ReadWrite, cabinet));
        power = cabinet->addAttribute(
            std::make_unique<Model::ValueAttribute<double>>("Power", AccessType::ReadWrite, cabinet));
    }

    std::unique_ptr<Model::Entity> root;
    Model::Entity* cabinet = nullptr;
    Model::Attribute* inlet = nullptr;
    Model::Attribute* power = nullptr;
};

// Functors and definitions as the functor builder hands them over: two models sharing one
// definition and one without a definition.
struct Built
{
    explicit Built(const SmallModel& model)
    {
        AIModuleDefinition* network =
            definitions
                .insertDefinition(std::make_unique<AIModuleDefinition>(AISystem::ModuleType::NeuralNetwork,
                                                                       Utilities::bytearray{1, 2, 3, 0, 255}))
                .first;
        using Ref = AIFunctor::Reference;
        functors.emplace_back("Rack model", model.cabinet, std::vector<Ref>{Ref(model.inlet)},
                              std::vector<Ref>{Ref(model.power)}, network);
        functors.emplace_back("Twin", nullptr, std::vector<Ref>{Ref(model.inlet), Ref(model.power)},
                              std::vector<Ref>{}, network);
        functors.emplace_back("Untrained", model.cabinet, std::vector<Ref>{},
                              std::vector<Ref>{Ref(model.power)}, nullptr);
    }

    std::vector<AIFunctor> functors;
    AIModuleDefinitionCollection definitions;
};

AIEventHandlerOptions updateOptions()
{
    AIEventHandlerOptions options;
    options.updateMode = 10;
    options.updateStartIteration = 50;
    options.updateIterationInterval = 5;
    return options;
}

// Each functor's definition is one the linker itself holds.
void expectOwnDefinitions(const LinkerAIEventHandler& linker)
{
    for (const AIFunctor& functor : linker.getOptions().functors)
    {
        SCOPED_TRACE(functor.getName());
        if (functor.getDefinition() != nullptr)
        {
            EXPECT_TRUE(linker.getOptions().definitions.indexOf(functor.getDefinition()).has_value());
        }
    }
}

template <class Linker> std::unique_ptr<Linker> roundTrip(const Linker& written, bool binary)
{
    std::stringstream buffer;
    auto back = std::make_unique<Linker>();
    if (binary)
    {
        FileSystem::BinaryDataOStream out(buffer);
        written.write(out);
        FileSystem::BinaryDataIStream in(buffer);
        back->read(in);
        EXPECT_TRUE(in.good()) << in.errorMessage();
    }
    else
    {
        FileSystem::TextDataOStream out(buffer);
        written.write(out);
        FileSystem::TextDataIStream in(buffer);
        back->read(in);
        EXPECT_TRUE(in.good()) << in.errorMessage() << "\n" << buffer.str();
    }
    return back;
}
} // namespace

TEST(LinkerAIEventHandler, KeepsFunctorDefinitionsAfterTheBuilderIsGone)
{
    SmallModel model;
    LinkerAIEventHandler linker(updateOptions());
    {
        // The generator hands over the functors first, then the definitions, and then drops both.
        Built built(model);
        linker.setFunctors(built.functors);
        expectOwnDefinitions(linker);
        linker.setDefinitions(built.definitions);
    }
    expectOwnDefinitions(linker);
    const auto& functors = linker.getOptions().functors;
    ASSERT_EQ(functors.size(), 3u);
    ASSERT_EQ(linker.getOptions().definitions.size(), 1u);
    EXPECT_EQ(functors[0].getDefinition(), functors[1].getDefinition());
    EXPECT_EQ(functors[0].getDefinition()->getData(), (Utilities::bytearray{1, 2, 3, 0, 255}));
    EXPECT_EQ(functors[2].getDefinition(), nullptr);
    EXPECT_EQ(functors[0].getInputs().at(0).get(), model.inlet);
    EXPECT_EQ(functors[0].getOwner(), model.cabinet);
}

TEST(LinkerAIEventHandler, CopiesPointIntoTheirOwnDefinitions)
{
    SmallModel model;
    Built built(model);
    AIEventHandlerOptions options = updateOptions();
    options.functors = built.functors;
    options.definitions = built.definitions;
    const LinkerAIEventHandler linker(options);
    expectOwnDefinitions(linker);

    const std::unique_ptr<LinkerAbstract> clone = linker.clone();
    const auto& copy = dynamic_cast<const LinkerAIEventHandler&>(*clone);
    expectOwnDefinitions(copy);
    EXPECT_NE(copy.getOptions().functors[0].getDefinition(), linker.getOptions().functors[0].getDefinition());
    EXPECT_TRUE(copy == linker);

    LinkerAIEventHandler assigned;
    assigned = copy;
    expectOwnDefinitions(assigned);
    EXPECT_TRUE(assigned == linker);
}

TEST(LinkerAIEventHandler, ReadsBackEqualInBothEncodings)
{
    SmallModel model;
    LinkerAIEventHandler linker(updateOptions());
    {
        Built built(model);
        linker.setFunctors(built.functors);
        linker.setDefinitions(built.definitions);
    }
    for (bool binary : {true, false})
    {
        SCOPED_TRACE(binary ? "binary" : "text");
        const auto back = roundTrip(linker, binary);
        EXPECT_TRUE(*back == linker);
        expectOwnDefinitions(*back);
        const auto& functors = back->getOptions().functors;
        ASSERT_EQ(functors.size(), 3u);
        EXPECT_EQ(functors[0].getDefinition(), functors[1].getDefinition());
        EXPECT_EQ(back->getOptions().updateStartIteration, 50);
        EXPECT_EQ(back->getOptions().updateIterationInterval, 5);

        // References come back as paths; binding them to the model finds the same nodes.
        AIFunctor first = functors[0];
        EXPECT_EQ(first.getInputs().at(0).get(), nullptr);
        ASSERT_TRUE(first.resolve(model.root.get()));
        EXPECT_EQ(first.getInputs().at(0).get(), model.inlet);
        EXPECT_EQ(first.getOutputs().at(0).get(), model.power);
    }
}

TEST(LinkerAIEventHandler, EqualityCoversSettingsFunctorsAndDefinitions)
{
    SmallModel model;
    Built built(model);
    const auto make = [&](auto change)
    {
        AIEventHandlerOptions options = updateOptions();
        options.functors = built.functors;
        options.definitions = built.definitions;
        change(options);
        return LinkerAIEventHandler(options);
    };
    const LinkerAIEventHandler reference = make([](AIEventHandlerOptions&) {});
    EXPECT_TRUE(make([](AIEventHandlerOptions&) {}) == reference);
    EXPECT_FALSE(make([](AIEventHandlerOptions& o) { o.updateMode = 20; }) == reference);
    EXPECT_FALSE(make([](AIEventHandlerOptions& o) { o.updateStartIteration = 0; }) == reference);
    EXPECT_FALSE(make([](AIEventHandlerOptions& o) { o.updateIterationInterval = 1; }) == reference);
    EXPECT_FALSE(make([](AIEventHandlerOptions& o) { o.functors.pop_back(); }) == reference);
    EXPECT_FALSE(make(
                     [&](AIEventHandlerOptions& o)
                     {
                         o.functors[1] = AIFunctor("Twin", nullptr, {AIFunctor::Reference(model.power)}, {},
                                                   o.functors[1].getDefinition());
                     }) == reference);
    EXPECT_FALSE(make(
                     [](AIEventHandlerOptions& o)
                     {
                         o.definitions.insertDefinition(std::make_unique<AIModuleDefinition>(
                             AISystem::ModuleType::ONNX, Utilities::bytearray{9}));
                     }) == reference);
}

TEST(LinkerAIEventHandler, ServesAsBaseOfTheAIPythonLinker)
{
    SmallModel model;
    Built built(model);
    AIEventHandlerOptions options = updateOptions();
    options.functors = built.functors;
    options.definitions = built.definitions;
    const AIPythonLinker python(options);
    const LinkerAIEventHandler plain(options);

    EXPECT_EQ(python.getType(), LinkerType::AIPythonEventHandler);
    EXPECT_EQ(python.getLibraryName(Utilities::OperatingSystem::Windows), "ConfluxAI.dll");
    EXPECT_FALSE(python == plain);
    EXPECT_FALSE(plain == python);
    EXPECT_TRUE(*python.clone() == python);
    EXPECT_EQ(python.clone()->getType(), LinkerType::AIPythonEventHandler);

    std::stringstream text;
    {
        FileSystem::TextDataOStream out(text);
        python.write(out);
    }
    EXPECT_EQ(text.str().find("<Linker:AIPythonEventHandler>"), text.str().find('\n') + 1);

    // A collection holding it reads back once the kind is registered.
    LinkerFactory::registerLinker(LinkerType::AIPythonEventHandler,
                                  [] { return std::make_unique<AIPythonLinker>(); });
    LinkerCollection collection;
    collection.addLinker(std::make_unique<LinkerAIEventHandler>(plain));
    collection.addLinker(std::make_unique<AIPythonLinker>(python));
    std::stringstream buffer;
    FileSystem::BinaryDataOStream out(buffer);
    collection.write(out);
    FileSystem::BinaryDataIStream in(buffer);
    LinkerCollection back;
    back.read(in);
    EXPECT_TRUE(in.good()) << in.errorMessage();
    EXPECT_TRUE(back == collection);
    LinkerFactory::registerLinker(LinkerType::AIPythonEventHandler, nullptr);
}
