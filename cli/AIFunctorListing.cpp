#include "cli/AIFunctorListing.h"

#include "src/ai/definition/AIFunctorBuilder.h"
#include "src/model/Entity.h"

#include <ostream>
#include <stdexcept>
#include <string>

namespace ConfluxCli
{
namespace
{
const char* moduleTypeName(const Conflux::AIModuleDefinition* definition)
{
    if (definition == nullptr)
        return "no model";
    switch (definition->getType())
    {
    case AISystem::ModuleType::None:
        return "no model";
    case AISystem::ModuleType::Trivial:
        return "Trivial";
    case AISystem::ModuleType::NeuralNetwork:
        return "NeuralNetwork";
    case AISystem::ModuleType::TorchScript:
        return "TorchScript";
    case AISystem::ModuleType::ONNX:
        return "ONNX";
    case AISystem::ModuleType::Python:
        return "Python";
    case AISystem::ModuleType::Transformed:
        return "Transformed";
    }
    return "unknown";
}

void listValues(std::ostream& out, const char* direction,
                const std::vector<Conflux::AIFunctor::Reference>& values)
{
    for (std::size_t i = 0; i < values.size(); ++i)
        out << "    " << direction << ' ' << i + 1 << ": " << values[i].path().toString() << '\n';
}
} // namespace

bool listAIFunctors(std::ostream& out, EntityModel::Entity* root,
                    const std::map<EntityModel::Attribute*, Conflux::Model::Attribute*>& attributeMap)
{
    // The functors point at definitions that the collection owns: both are kept together.
    std::pair<std::vector<Conflux::AIFunctor>, Conflux::AIModuleDefinitionCollection> built;
    try
    {
        built = Conflux::AIFunctorBuilder::create(root, attributeMap);
    }
    catch (const std::exception& error)
    {
        out << "AI functors: cannot be built: " << error.what() << '\n';
        return false;
    }
    catch (const char* text)
    {
        out << "AI functors: cannot be built: " << text << '\n';
        return false;
    }

    const std::vector<Conflux::AIFunctor>& functors = built.first;
    out << "AI functors: " << functors.size() << '\n';
    for (const Conflux::AIFunctor& functor : functors)
    {
        const Conflux::Model::Entity* owner = functor.getOwner();
        out << "  " << functor.getName() << " (" << moduleTypeName(functor.getDefinition()) << "), owner "
            << (owner != nullptr ? owner->getAttributePath(true).toString()
                                 : std::string("outside the exchange"))
            << '\n';
        listValues(out, "input", functor.getInputs());
        listValues(out, "output", functor.getOutputs());
    }
    return true;
}
} // namespace ConfluxCli
