// Generation runs, checks and model evaluations on several threads at once over one project, as
// the application runs them; `make tsan` runs these under the thread sanitizer.
#include "src/checks/AIModelChecker.h"
#include "src/checks/ConfluxChecker.h"
#include "src/exchange/ConfluxRunner.h"

#include "GeneratorTestSupport.h"

#include "host/ai/modules/Module.h"
#include "host/projectdata/ProjectStore.h"
#include "host/services/RecordingToolProgress.h"

#include <QFile>

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace GeneratorTest;

namespace
{
std::vector<std::string> checkMessages(EntityModel::Checker& checker, Entity* root)
{
    std::set<Entity*> entities{root};
    std::vector<EntityError> errors;
    checker.setRootEntity(root);
    checker.checkEntities(entities, errors);
    std::vector<std::string> messages;
    for (const EntityError& error : errors)
        messages.push_back(error.getMessage());
    return messages;
}
} // namespace

TEST(GenerationThreads, GenerationsChecksAndEvaluationsRunAtOnce)
{
    SampleProject p;
    const std::vector<std::string> exchangeErrors = [&]
    {
        Conflux::ConfluxChecker checker;
        return checkMessages(checker, p.root);
    }();
    const std::vector<std::string> aiErrors = [&]
    {
        Conflux::AIModelChecker checker;
        return checkMessages(checker, p.root);
    }();

    constexpr int runs = 2;
    std::vector<std::unique_ptr<Tools::RecordingToolProgress>> progress;
    std::vector<std::unique_ptr<Conflux::ConfluxRunner>> runners;
    for (int i = 0; i < runs; ++i)
    {
        progress.push_back(std::make_unique<Tools::RecordingToolProgress>());
        runners.push_back(std::make_unique<Conflux::ConfluxRunner>(
            progress.back().get(), p.storeDirectory() + std::to_string(i), "unused", "sample", p.root,
            CFDSolver::SolutionType::SteadyState));
    }
    for (auto& runner : runners)
        runner->start();

    // Meanwhile: checks on two more threads and on this one, and a Python model evaluated on two.
    auto exchangeChecks = std::async(std::launch::async,
                                     [&]
                                     {
                                         Conflux::ConfluxChecker checker;
                                         return checkMessages(checker, p.root);
                                     });
    auto aiChecks = std::async(std::launch::async,
                               [&]
                               {
                                   Conflux::AIModelChecker checker;
                                   return checkMessages(checker, p.root);
                               });
    const AISystem::Module model = AISystem::Module::fromByteArray(
        AISystem::ModuleType::Python, Utilities::toByteArray("def evaluate(x):\n    return x * 2\n"));
    std::vector<std::future<double>> evaluations;
    for (int i = 0; i < 2; ++i)
        evaluations.push_back(
            std::async(std::launch::async,
                       [&model, i]
                       {
                           double sum = 0;
                           for (int k = 0; k < 20; ++k)
                               sum += model.eval(AISystem::Tensor::fromRows({{double(i)}})).getDouble(0);
                           return sum;
                       }));
    Conflux::ConfluxChecker checker;
    EXPECT_EQ(checkMessages(checker, p.root), exchangeErrors);

    EXPECT_EQ(exchangeChecks.get(), exchangeErrors);
    EXPECT_EQ(aiChecks.get(), aiErrors);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(evaluations[i].get(), 40.0 * i);
    for (int i = 0; i < runs; ++i)
    {
        ASSERT_TRUE(runners[i]->wait(300000));
        const std::vector<std::string> lines = progress[i]->transcript();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], "message: Conflux generation complete");
    }
}

TEST(GenerationThreads, ARunnerDestroyedWhileRunningFinishesFirst)
{
    SampleProject p;
    Tools::RecordingToolProgress progress;
    {
        Conflux::ConfluxRunner runner(&progress, p.storeDirectory(), "unused", "sample", p.root,
                                      CFDSolver::SolutionType::SteadyState);
        runner.start();
    }
    // Destroying a running QThread aborts the process: the runner waited for its run instead.
    ASSERT_FALSE(progress.transcript().empty());
    EXPECT_EQ(progress.transcript().back(), "finished: true");
    EXPECT_TRUE(QFile::exists(
        QString::fromStdString(ProjectData::ProjectStore(p.storeDirectory()).getConfluxControlFile())));
}
