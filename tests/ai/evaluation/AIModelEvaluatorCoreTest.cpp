#include "src/ai/evaluation/AIModelEvaluatorCore.h"
#include "src/ai/evaluation/AIModelEvaluateRunner.h"
#include "src/ai/evaluation/AIModelImbalanceCalculatorRunner.h"
#include "tests/ai/evaluation/EvaluationTestSupport.h"

#include <QDeadlineTimer>
#include <QThread>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <stdexcept>

using namespace EvaluationTest;
using AISystem::Tensor;

namespace
{
// A core over a module the test chooses (none by default).
class Core : public Conflux::AIModelEvaluatorCore
{
public:
    std::optional<AISystem::Module> module;
    AISystem::Module* getModule() const override
    {
        return module ? const_cast<AISystem::Module*>(&*module) : nullptr;
    }
};

Tensor row(std::vector<double> values)
{
    return Tensor::fromRows({values});
}

TEST(AIModelEvaluatorCore, WithoutModuleFailsAtOnceWithNoModule)
{
    app();
    Core core;
    EXPECT_FALSE(core.canCalcImbalance());

    const auto evaluated = core.evaluateAsync(row({1.0}));
    EXPECT_TRUE(evaluated.hasFailed()); // before any event loop ran
    EXPECT_EQ(failureText(evaluated), "No Module");
    const auto imbalance = core.calcImbalanceAsync(row({1.0}), row({2.0, 2.0}));
    EXPECT_TRUE(imbalance.hasFailed());
    EXPECT_EQ(failureText(imbalance), "No Module");

    for (const auto& call : {std::function<void()>([&] { core.evaluate(row({1.0})); }),
                             std::function<void()>([&] { core.calcImbalance(row({1.0}), row({2.0})); })})
    {
        try
        {
            call();
            ADD_FAILURE() << "no exception";
        }
        catch (const std::runtime_error& error)
        {
            EXPECT_STREQ(error.what(), "No Module");
        }
    }
}

TEST(AIModelEvaluatorCore, EvaluatesABatchInOneCallThroughARunnerOfItsOwnClass)
{
    app();
    Core core;
    auto impl = std::make_shared<AffineImpl>();
    core.module = AISystem::Module(impl);

    const auto future = core.evaluateAsync(Tensor::fromRows({{1.0, 3.0}, {2.0, 0.5}}));
    EXPECT_FALSE(future.isFinished()); // started by a timer, not inside the call
    ASSERT_EQ(core.findChildren<Conflux::AIModelEvaluateRunner*>().size(), 1u);
    EXPECT_STREQ(core.findChild<QObject*>()->metaObject()->className(), "Conflux::AIModelEvaluateRunner");
    EXPECT_EQ(settled(future).result(), Tensor::fromRows({{2.0, 2.0, 6.0, 4.0}, {4.0, 3.0, 1.0, 1.5}}));
    EXPECT_EQ(impl->calls, 1);

    EXPECT_EQ(core.evaluate(row({5.0})), row({10.0, 6.0}));
    EXPECT_STREQ(core.metaObject()->className(), "Conflux::AIModelEvaluatorCore");
}

TEST(AIModelEvaluatorCore, ConcurrentRequestsShareTheModuleAndKeepTheirOwnResults)
{
    app();
    Core core;
    core.module = affineModule();
    const auto first = core.evaluateAsync(row({1.0}));
    const auto second = core.evaluateAsync(row({7.0}));
    EXPECT_EQ(settled(second).result(), row({14.0, 8.0}));
    EXPECT_EQ(settled(first).result(), row({2.0, 2.0}));
}

TEST(AIModelEvaluatorCore, AnEvalThatThrowsReachesTheCallerUnchanged)
{
    app();
    Core core;
    core.module = affineModule();
    const auto future = settled(core.evaluateAsync(row({-2.0})));
    EXPECT_TRUE(future.hasFailed());
    EXPECT_EQ(failureText(future), "negative input -2.000000");
    EXPECT_THROW(core.evaluate(row({-2.0})), std::domain_error);
    // The runtime's own errors (a shape it cannot take) arrive the same way.
    core.module = AISystem::Module::fromByteArray(
        AISystem::ModuleType::Python, Utilities::toByteArray("def evaluate(inputs):\n"
                                                             "    raise ValueError('too hot')\n"));
    try
    {
        core.evaluate(row({1.0}));
        ADD_FAILURE() << "no exception";
    }
    catch (const std::exception& error)
    {
        EXPECT_NE(std::string(error.what()).find("too hot"), std::string::npos) << error.what();
    }
}

TEST(AIModelEvaluatorCore, ImbalanceOfAModuleThatCannotFormOneIsEmptyAtOnceWithoutRunner)
{
    app();
    Core core;
    core.module = affineModule(false);
    EXPECT_FALSE(core.canCalcImbalance());
    const auto future = core.calcImbalanceAsync(row({1.0}), row({2.0, 2.0}));
    EXPECT_TRUE(future.isFinished());
    ASSERT_TRUE(future.result());
    EXPECT_EQ(*future.result(), std::nullopt);
    EXPECT_TRUE(core.findChildren<QObject*>().isEmpty());
    EXPECT_EQ(core.calcImbalance(row({1.0}), row({2.0, 2.0})), std::nullopt);
}

TEST(AIModelEvaluatorCore, ImbalanceComesFromTheModuleThroughItsRunner)
{
    app();
    Core core;
    core.module = affineModule(true);
    EXPECT_TRUE(core.canCalcImbalance());
    const auto future =
        core.calcImbalanceAsync(Tensor::fromRows({{1.0}, {2.0}}), Tensor::fromRows({{2.0, 2.0}, {4.0, 3.0}}));
    EXPECT_FALSE(future.isFinished());
    EXPECT_STREQ(core.findChild<QObject*>()->metaObject()->className(),
                 "Conflux::AIModelImbalanceCalculatorRunner");
    EXPECT_EQ(settled(future).result()->value(), (AISystem::ImbalanceResult{3.0, 11.0}));
    // An empty optional from the module is a result, not a failure.
    EXPECT_EQ(core.calcImbalance(Tensor(), Tensor()), std::nullopt);
}

TEST(AIModelEvaluatorCore, RunnersWithoutModuleFailWithNoModuleInTheirOwnWords)
{
    app();
    auto* evaluateRunner = new Conflux::AIModelEvaluateRunner(nullptr, row({1.0}), nullptr);
    const auto evaluated = evaluateRunner->future();
    evaluateRunner->startLater();
    auto* imbalanceRunner =
        new Conflux::AIModelImbalanceCalculatorRunner(nullptr, row({1.0}), row({1.0}), nullptr);
    const auto imbalance = imbalanceRunner->future();
    imbalanceRunner->startLater();
    EXPECT_EQ(failureText(settled(evaluated)), "NO module");
    EXPECT_EQ(failureText(settled(imbalance)), "NO module");
}

TEST(AIModelEvaluatorCore, ARunnerDiesWithItsCoreAndItsFutureFails)
{
    app();
    auto core = std::make_unique<Core>();
    auto impl = std::make_shared<AffineImpl>();
    core->module = AISystem::Module(impl);
    const auto future = core->evaluateAsync(row({1.0}));
    core.reset();
    EXPECT_TRUE(settled(future).hasFailed());
    EXPECT_EQ(impl->calls, 0);
}

TEST(AIModelEvaluatorCore, AFutureCanBeWaitedOnFromAnotherThread)
{
    app();
    Core core;
    core.module = affineModule();
    const auto future = core.evaluateAsync(row({3.0}));
    std::optional<Tensor> seen;
    std::unique_ptr<QThread> waiter(QThread::create([&] { seen = future.get(); }));
    waiter->start();
    // The runner lives in this thread, so this thread's event loop must run while the other one waits.
    QDeadlineTimer guard(10000);
    while (!waiter->isFinished() && !guard.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    waiter->wait();
    ASSERT_TRUE(seen);
    EXPECT_EQ(*seen, row({6.0, 4.0}));
}
} // namespace
