#pragma once
// The bundled sample project with its server's AI model, and networks trained for the export tests.
#include "host/ai/physics/PhysicalModel.h"
#include "host/ai/tensor/Example.h"
#include "host/ai/tensor/Tensor.h"
#include "host/ai/training/NeuralNetworkTrainer.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "tests/host/services/TestApp.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace ExportTest
{
/// The sample project, loaded afresh and made the editor's current one while it lives.
struct Sample
{
    Sample()
        : previous((ServicesTest::app(), EntityModel::EntityEditor::getCurrentProject())),
          project(EntityModel::ProjectFile::load(QStringLiteral(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json")))
    {
        EntityModel::EntityEditor::setCurrentProject(project.get());
    }
    ~Sample() { EntityModel::EntityEditor::setCurrentProject(previous); }
    Sample(const Sample&) = delete;
    Sample& operator=(const Sample&) = delete;

    /// The server's AI model ("Server A01-1 Surrogate").
    EntityModel::Entity* model() const
    {
        return project->getRootEntity()->getOwnedChildEntitiesOfType(EntityModel::AI_Model_t).front();
    }
    EntityModel::Entity* entity(const std::string& name) const
    {
        std::vector<EntityModel::Entity*> all;
        project->getRootEntity()->getOwnedChildEntities(all);
        for (EntityModel::Entity* e : all)
            if (e->getName() == name)
                return e;
        return nullptr;
    }

    EntityModel::Project* previous;
    std::unique_ptr<EntityModel::Project> project;
};

/// Air in at input 1 with the flows of the outlet, out at the temperature of output 0 with the
/// flow of output 1, heated by the power of input 0: the server's balance.
inline AISystem::PhysicalModel serverBalance()
{
    AISystem::PhysicalModelStream air(AISystem::PhysicalModelFluid::air());
    air.addInflow(0.0, AISystem::PhysicalModelValue::input(1), std::nullopt);
    air.addOutflow(0.0, AISystem::PhysicalModelValue::output(0), AISystem::PhysicalModelValue::output(1));
    AISystem::PhysicalModel physics;
    physics.addHeatSource(AISystem::PhysicalModelValue::input(0));
    physics.addStream(air);
    return physics;
}

/// A network of two inputs and two outputs trained briefly (seeded) on smooth cases, as model data.
inline std::string trainedNetwork(AISystem::TensorElementType type, const std::optional<AISystem::PhysicalModel>& physics,
                                  AISystem::NeuralNetworkType networkType)
{
    AISystem::NeuralNetworkTrainer::setManualSeed(5);
    AISystem::NeuralNetworkTrainer trainer(2, 2, {6, 5}, type, physics, networkType);
    std::mt19937_64 random(17);
    std::uniform_real_distribution<double> power(100.0, 1000.0), inlet(-1.8, 2.2);
    std::vector<std::vector<double>> in, out;
    for (int i = 0; i < 64; ++i)
    {
        const double p = power(random), t = inlet(random);
        in.push_back({p, t});
        out.push_back({t * 5 + 24 + p / 100.0, 0.02 + p / 20000.0});
    }
    const AISystem::Example example(AISystem::Tensor::fromRows(in).toElementType(type),
                                    AISystem::Tensor::fromRows(out).toElementType(type), 64);
    trainer.train(example, example, 0.0, 5, 0.01, std::nullopt, nullptr);
    const Utilities::bytearray bytes = trainer.toByteArray();
    return std::string(bytes.begin(), bytes.end());
}
} // namespace ExportTest
