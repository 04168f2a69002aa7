#include "TestModel.h"

#include "host/entitymodel/ProjectFile.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace EntityModel;

namespace
{
/// Records the roots it ran on and, on each run, edits the root's solution control and reports one
/// created server (made on the first run) and the control as modified.
class RecordingCalculator : public Calculator
{
public:
    explicit RecordingCalculator(std::string name, std::vector<std::string>* order = nullptr)
        : Calculator(std::move(name)), m_order(order)
    {
    }
    void calculateDerivedData(Geometry::Part* part) override
    {
        roots.push_back(part ? part->getEntity() : nullptr);
        if (m_order)
            m_order->push_back(getName());
        m_control = EntityFetcher::getSolutionControl(part->getEntity());
        // Edits of the pass itself must not start another pass.
        EditTransaction inner(part->getEntity());
        if (m_control)
            EntityEditor::setValue(m_control, AI_Model_Control_t / Active_t, Yes_t);
        EXPECT_TRUE(inner.commit().empty());
    }
    void getChangedEntities(ChangeSet& changes) override
    {
        if (m_control)
            changes.addModified(m_control);
    }

    std::vector<Entity*> roots;

private:
    std::vector<std::string>* m_order;
    Entity* m_control = nullptr;
};
} // namespace

TEST(DerivedDataPass, RegisteredCalculatorsRunInOrderAndTheirChangesAreCollected)
{
    TestModel::ProjectFixture f;
    std::vector<std::string> order;
    CalculatorRegistar first(std::make_unique<RecordingCalculator>("First", &order));
    CalculatorRegistar second(std::make_unique<RecordingCalculator>("Second", &order));
    EXPECT_EQ(DerivedDataPass::findCalculator("Second"), second.get());
    EXPECT_EQ(DerivedDataPass::findCalculator("Third"), nullptr);

    const ChangeSet changes = DerivedDataPass::run(f.root);
    EXPECT_EQ(order, (std::vector<std::string>{"First", "Second"}));
    EXPECT_EQ(changes.getModified(), (std::set<Entity*>{f.control}));
    EXPECT_TRUE(changes.getCreated().empty());
    EXPECT_TRUE(getBoolValue(f.control, AI_Model_Control_t / Active_t));
    EXPECT_FALSE(DerivedDataPass::isRunning());
    EXPECT_TRUE(DerivedDataPass::run(nullptr).empty());
}

TEST(DerivedDataPass, RegistarUnregistersWhenItGoes)
{
    const std::size_t before = DerivedDataPass::getCalculators().size();
    {
        CalculatorRegistar registar(std::make_unique<RecordingCalculator>("Scoped"));
        EXPECT_EQ(DerivedDataPass::getCalculators().size(), before + 1);
    }
    EXPECT_EQ(DerivedDataPass::getCalculators().size(), before);
    EXPECT_EQ(DerivedDataPass::findCalculator("Scoped"), nullptr);
}

TEST(EditTransaction, OnlyTheOutermostCommitRunsThePassOverTheCurrentProject)
{
    TestModel::ProjectFixture f;
    CalculatorRegistar registar(std::make_unique<RecordingCalculator>("Recorder"));
    auto* recorder = static_cast<RecordingCalculator*>(registar.get());

    EditTransaction outer;
    EXPECT_EQ(EditTransaction::depth(), 1);
    {
        EditTransaction inner;
        EntityEditor::setValue(f.server1, TypeRef("Power"), 1500.0);
        EXPECT_TRUE(inner.commit().empty());
    }
    EXPECT_TRUE(recorder->roots.empty());
    const ChangeSet changes = outer.commit();
    EXPECT_EQ(recorder->roots, (std::vector<Entity*>{f.root}));
    EXPECT_EQ(changes.getModified(), (std::set<Entity*>{f.control}));
    EXPECT_EQ(EditTransaction::depth(), 0);
    // A second commit is no new transaction.
    EXPECT_TRUE(outer.commit().empty());
    EXPECT_EQ(recorder->roots.size(), 1u);
}

TEST(EditTransaction, LeftWithoutCommitRunsNoPass)
{
    TestModel::ProjectFixture f;
    CalculatorRegistar registar(std::make_unique<RecordingCalculator>("Recorder"));
    try
    {
        EditTransaction transaction;
        EntityEditor::setValue(f.server1, TypeRef("No Such Attribute"), 1.0);
        transaction.commit();
    }
    catch (const std::runtime_error&)
    {
    }
    EXPECT_EQ(EditTransaction::depth(), 0);
    EXPECT_TRUE(static_cast<RecordingCalculator*>(registar.get())->roots.empty());
}

TEST(DerivedDataPass, RunsWhenAProjectLoads)
{
    CalculatorRegistar registar(std::make_unique<RecordingCalculator>("Recorder"));
    auto* recorder = static_cast<RecordingCalculator*>(registar.get());
    const auto project =
        ProjectFile::fromJson(R"({"format": "ConfluxTool project", "version": 1, "entities": [
        {"type": "Project", "name": "P", "id": [1, 1], "attributes": {"Solution Control": [1, 2]}},
        {"type": "Solution Control", "name": "SC", "id": [1, 2]}]})",
                              "loaded.json");
    ASSERT_EQ(recorder->roots, (std::vector<Entity*>{project->getRootEntity()}));
    EXPECT_TRUE(getBoolValue(EntityFetcher::getSolutionControl(project->getRootEntity()),
                             AI_Model_Control_t / Active_t));
}
