// The process-wide state of the entity model (extenders, installation settings, the unit table,
// rule and derived-value caches, threads) used from several threads at once. Under `make tsan`
// any unsynchronised access fails these tests.
#include "tests/host/entitymodel/TestModel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace EntityModel;
using TestModel::ProjectFixture;

namespace
{
struct CountingExtender : EntityEditExtender
{
    void extendSetValueOperation(Entity*, Attribute*, const std::string&, bool) override { ++told; }
    std::atomic<int> told{0};
};

class SpinningThread : public SafeQThread
{
protected:
    void do_run() override
    {
        started = true;
        while (!isInterruptionRequested())
            QThread::msleep(1);
    }

public:
    std::atomic<bool> started{false};
};
} // namespace

TEST(EntityModelThreads, SharedTablesAndCachesAreReadAndChangedTogether)
{
    int calls = 0;
    DerivedFunctionRegistration registration("test.summary",
                                             [&calls](Attribute& a)
                                             {
                                                 ++calls;
                                                 static_cast<StringAttribute*>(&a)->setString(
                                                     "Power=" + getStringValue(a.getOwnerEntity(), "Power"));
                                             });
    ProjectFixture f;
    Attribute* summary = f.server1->findAttribute("Summary");
    Attribute* data = f.server1->findAttribute("Model Data");
    const ConfluxAccessRights saved = InstallationSettings::current().confluxAccessRights();
    CountingExtender counting;

    // Readers: rule outcomes, derived values, units and access rights.
    std::atomic<bool> stop{false};
    std::vector<std::thread> readers;
    for (int t = 0; t < 2; ++t)
        readers.emplace_back(
            [&]
            {
                // At least some reads each, however late the thread starts.
                for (int k = 0; k < 100 || !stop; ++k)
                {
                    EXPECT_TRUE(data->isHidden());
                    EXPECT_EQ(summary->getValue(), "Power=1000");
                    EXPECT_EQ(UnitConverter::instance().getSIType(TypeRef("Temperature")), "°C");
                    InstallationSettings::current().confluxAccessRights().allows(3);
                }
            });
    // Writers on this thread: extenders come and go, rights and units change, caches are cleared.
    for (int i = 0; i < 200; ++i)
    {
        EntityEditor::registerEditExtender(&counting);
        EntityEditor::unregisterEditExtender(&counting);
        ConfluxAccessRights rights = ConfluxAccessRights::all();
        rights.setAllowed(i % 6 + 1, false);
        InstallationSettings::current().setConfluxAccessRights(rights);
        UnitConverter::instance().addUnit(TypeRef("Length"), Unit{"thread-test-unit", {0.5, 0.0}});
        EntityEditor::clearAttributeCaches();
    }
    stop = true;
    for (std::thread& reader : readers)
        reader.join();
    InstallationSettings::current().setConfluxAccessRights(saved);
    EXPECT_EQ(calls, 1) << "the derived value is computed once, by whichever thread reads it first";
}

TEST(EntityModelThreads, ExtendersAreToldFromAnyThreadWhileOthersRegister)
{
    ProjectFixture f;
    CountingExtender steady;
    CountingExtender coming;
    EntityEditor::registerEditExtender(&steady);
    std::thread editor(
        [&]
        {
            for (int i = 0; i < 200; ++i)
                EntityEditor::setValue(f.server2, "Power", 100.0 + i);
        });
    for (int i = 0; i < 200; ++i)
    {
        EntityEditor::registerEditExtender(&coming);
        EntityEditor::unregisterEditExtender(&coming);
    }
    editor.join();
    EntityEditor::unregisterEditExtender(&steady);
    EXPECT_EQ(steady.told, 200);
}

TEST(EntityModelThreads, SafeQThreadDestroyedWhileRunningIsStoppedAndJoined)
{
    auto thread = std::make_unique<SpinningThread>();
    thread->start();
    while (!thread->started)
        QThread::msleep(1);
    // Destroying a running QThread aborts the process; this one is asked to stop and waited for.
    thread.reset();
    SUCCEED();
}
