// Trains the sample project's neural-network AI model on seeded synthetic cases of a server's air
// side and stores the network in the project:
//   make-sample-model examples/sample-datacentre.json [OUTPUT]
// Inputs are the AI model's input values in the model's terms (after their To Model
// transformation); outputs are the exhaust temperature (°C) and the air flow (m³/s).
#include "host/ai/modules/Module.h"
#include "host/ai/training/NeuralNetworkTrainer.h"
#include "host/ai/tensor/Tensor.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/entitymodel/TypeRef.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
using EntityModel::Attribute;
using EntityModel::CountedCompositeAttribute;
using EntityModel::Entity;

constexpr double AirDensity = 1.2;        // kg/m³
constexpr double AirHeatCapacity = 1005.; // J/(kg·K)
constexpr double InletMean = 24.0;        // the inlet temperature's Mean Std Dev transformation
constexpr double InletStdDev = 5.0;

CountedCompositeAttribute* findValueList(Entity* model, const char* path)
{
    Attribute* found = model->findAttribute(EntityModel::AttributePath(path));
    if (found == nullptr || !found->isCountedCompositeAttribute())
        throw std::runtime_error("AI model '" + model->getName() + "' has no list " + path);
    return static_cast<CountedCompositeAttribute*>(found);
}

Entity* findNeuralNetworkModel(Entity* root)
{
    for (Entity* entity : root->getOwnedChildEntitiesOfType(EntityModel::TypeRef("AI Model")))
        if (EntityModel::getTypeValue(entity, "Model Type", EntityModel::TypeRef()) ==
            EntityModel::TypeRef("NeuralNetwork"))
            return entity;
    throw std::runtime_error("the project has no NeuralNetwork AI model");
}

// A server's fans speed up with its load and, above 25 °C, with its inlet temperature; the air
// leaving it carries all of its power.
void serverAirSide(double power, double inlet, double& exhaust, double& flow)
{
    flow = 0.015 + 4.5e-5 * power + 8e-4 * std::max(0.0, inlet - 25.0);
    exhaust = inlet + power / (AirDensity * AirHeatCapacity * flow);
}

AISystem::Example makeCases(std::mt19937_64& generator, int count)
{
    std::uniform_real_distribution<double> power(100.0, 1000.0);
    std::uniform_real_distribution<double> inlet(15.0, 35.0);
    std::vector<std::vector<double>> inputs;
    std::vector<std::vector<double>> outputs;
    for (int i = 0; i < count; ++i)
    {
        const double p = power(generator);
        const double t = inlet(generator);
        double exhaust = 0.0;
        double flow = 0.0;
        serverAirSide(p, t, exhaust, flow);
        inputs.push_back({p, (t - InletMean) / InletStdDev});
        outputs.push_back({exhaust, flow});
    }
    return AISystem::Example(AISystem::Tensor::fromRows(inputs), AISystem::Tensor::fromRows(outputs), count);
}

int run(const QString& inputFile, const QString& outputFile)
{
    std::unique_ptr<EntityModel::Project> project = EntityModel::ProjectFile::load(inputFile);
    EntityModel::EntityEditor::setCurrentProject(project.get());
    Entity* model = findNeuralNetworkModel(project->getRootEntity());
    const int inputs = static_cast<int>(findValueList(model, "Specification.Inputs.Input Values")->childCount());
    const int outputs = static_cast<int>(findValueList(model, "Specification.Outputs.Output Values")->childCount());
    if (inputs != 2 || outputs != 2)
        throw std::runtime_error("AI model '" + model->getName() + "' has " + std::to_string(inputs) +
                                 " inputs and " + std::to_string(outputs) +
                                 " outputs; this tool makes a network of 2 inputs (power, inlet temperature) "
                                 "and 2 outputs (exhaust temperature, flow)");

    std::mt19937_64 generator(20261206);
    const AISystem::Example training = makeCases(generator, 400);
    const AISystem::Example testing = makeCases(generator, 100);
    AISystem::NeuralNetworkTrainer::setManualSeed(7);
    AISystem::NeuralNetworkTrainer trainer(inputs, outputs, {16, 16}, AISystem::TensorElementType::Double,
                                           std::nullopt, AISystem::NeuralNetworkType::Generic);
    const AISystem::ModuleTrainerResult result =
        trainer.train(training, testing, 1e-4, 600, 0.01, std::nullopt, nullptr);
    std::printf("trained '%s': %d iterations, training RMS error %.4g, testing RMS error %.4g\n",
                model->getName().c_str(), result.iterations, result.rmsError,
                result.testResult ? result.testResult->rmsError : -1.0);

    EntityModel::EntityEditor::setValue(model, "NeuralNetwork Model Data",
                                        Utilities::toString(trainer.toByteArray()));
    EntityModel::ProjectFile::save(*project, outputFile);
    EntityModel::EntityEditor::setCurrentProject(nullptr);

    // Read the network back from the written file, as the exchange would, and evaluate it once.
    std::unique_ptr<EntityModel::Project> reloaded = EntityModel::ProjectFile::load(outputFile);
    Entity* stored = findNeuralNetworkModel(reloaded->getRootEntity());
    const AISystem::Module module = AISystem::Module::fromByteArray(
        AISystem::ModuleType::NeuralNetwork,
        EntityModel::getByteArrayValue(stored, "NeuralNetwork Model Data"));
    double exhaust = 0.0;
    double flow = 0.0;
    serverAirSide(650.0, 24.0, exhaust, flow);
    const AISystem::Tensor answer = module.eval(AISystem::Tensor::fromRows({{650.0, 0.0}}));
    std::printf("650 W at 24 degC: exhaust %.3f degC (relation %.3f), flow %.5f m3/s (relation %.5f)\n",
                answer.getDouble(0), exhaust, answer.getDouble(1), flow);
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 2 || argc > 3)
    {
        std::fprintf(stderr, "usage: %s PROJECT [OUTPUT]\n", argv[0]);
        return 2;
    }
    try
    {
        return run(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argc == 3 ? argv[2] : argv[1]));
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 1;
    }
}
