#include "host/solver/LinkerCollection.h"
#include "host/entitymodel/InstallationSettings.h"
#include "host/solver/LinkerCSVEventHandler.h"
#include "host/solver/LinkerPythonModule.h"
#include "host/solver/LinkerTrivialEventHandler.h"
#include "host/solver/LinkerValidator.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

using namespace Conflux;

namespace
{
// A linker that counts how many of its kind are alive, to observe ownership.
class CountedLinker : public LinkerBase<CountedLinker, LinkerType::TrivialEventHandler, LinkerAbstract>
{
public:
    explicit CountedLinker(int id) : m_id(id) { ++alive; }
    CountedLinker(const CountedLinker& other) : LinkerBase(other), m_id(other.m_id) { ++alive; }
    ~CountedLinker() override { --alive; }

    std::string getName() const override { return "counted " + std::to_string(m_id); }
    std::string getLibraryName(Utilities::OperatingSystem) const override { return {}; }
    bool isEqual(const CountedLinker& other) const { return m_id == other.m_id; }
    void toStream(FileSystem::DataOStream&) const {}
    void fromStream(FileSystem::DataIStream&) {}

    static inline int alive = 0;

private:
    int m_id;
};

// An installation's access rights, as the validator reads them.
struct Rights
{
    std::set<int> allowed;
    bool allows(int type) const { return allowed.count(type) != 0; }
};

std::vector<std::string> names(const LinkerCollection& collection)
{
    std::vector<std::string> result;
    for (const LinkerContainer& linker : collection)
        result.push_back(linker->getName());
    return result;
}
} // namespace

TEST(LinkerCollection, OwnsItsLinkersInTheOrderAdded)
{
    {
        LinkerCollection collection;
        CountedLinker* first = collection.addLinker(std::make_unique<CountedLinker>(1));
        LinkerPythonModule* second = collection.addLinker(std::make_unique<LinkerPythonModule>("m", "pass"));
        CountedLinker* third = collection.addLinker(std::make_unique<CountedLinker>(3));
        EXPECT_EQ(CountedLinker::alive, 2);
        EXPECT_EQ(names(collection), (std::vector<std::string>{"counted 1", "m", "counted 3"}));

        // The pointers handed back are the linkers held, reachable through the containers.
        std::vector<LinkerAbstract*> held;
        for (const LinkerContainer& linker : collection)
            held.push_back(linker.get());
        EXPECT_EQ(held, (std::vector<LinkerAbstract*>{first, second, third}));
        EXPECT_EQ(second->getSource(), "pass");

        collection.clear();
        EXPECT_EQ(CountedLinker::alive, 0);
        EXPECT_TRUE(collection.empty());
        collection.addLinker(std::make_unique<CountedLinker>(4));
    }
    EXPECT_EQ(CountedLinker::alive, 0);
}

TEST(LinkerCollection, CopiesAreDeep)
{
    LinkerCollection original;
    original.addLinker(std::make_unique<CountedLinker>(1));
    original.addLinker(std::make_unique<LinkerCSVEventHandler>());
    {
        const LinkerCollection copy = original;
        EXPECT_EQ(CountedLinker::alive, 2);
        EXPECT_TRUE(copy == original);
        EXPECT_NE(copy.begin()->get(), original.begin()->get());
        EXPECT_EQ((copy.begin() + 1)->get()->getType(), LinkerType::CSVEventHandler);
    }
    EXPECT_EQ(CountedLinker::alive, 1);

    LinkerCollection reordered;
    reordered.addLinker(std::make_unique<LinkerCSVEventHandler>());
    reordered.addLinker(std::make_unique<CountedLinker>(1));
    EXPECT_FALSE(reordered == original);
    original.clear();
}

TEST(LinkerCollection, RefusesNoLinker)
{
    LinkerCollection collection;
    EXPECT_THROW(collection.addLinker(std::unique_ptr<LinkerCSVEventHandler>()), std::invalid_argument);
    EXPECT_TRUE(collection.empty());
}

TEST(LinkerValidator, AllowsAndRefusesByAccessRights)
{
    const Rights fileParserOnly{{1, 2}};
    const Rights everything{{1, 2, 3, 4, 5, 6}};
    struct Row
    {
        const char* what;
        Rights rights;
        LinkerType type;
        bool allowed;
    };
    const Row rows[] = {
        {"file parser allowed", everything, LinkerType::CSVEventHandler, true},
        {"AI Python allowed", everything, LinkerType::AIPythonEventHandler, true},
        {"listed kind", fileParserOnly, LinkerType::TrivialEventHandler, true},
        {"unlisted kind", fileParserOnly, LinkerType::PythonModule, false},
        {"unlisted AI", fileParserOnly, LinkerType::AIEventHandler, false},
        {"nothing allowed", Rights{}, LinkerType::UserDefinedDLL, false},
        {"no kind is not refused", Rights{}, LinkerType::None, true},
        {"unknown kind is not refused", Rights{}, static_cast<LinkerType>(77), true},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.what);
        const LinkerValidator validator(row.rights);
        EXPECT_EQ(validator.validate(row.type, true), row.allowed);
        if (row.allowed)
            EXPECT_TRUE(validator.validate(row.type, false));
        else
            EXPECT_THROW(validator.validate(row.type, false), std::runtime_error);
    }
}

TEST(LinkerValidator, RefusalNamesTheKindAndIgnoresLaterChanges)
{
    Rights rights{{1, 2, 3, 4, 6}};
    const LinkerValidator validator(rights);
    rights.allowed.insert(5);
    try
    {
        validator.validate(LinkerType::PythonModule, false);
        FAIL() << "no exception";
    }
    catch (const std::runtime_error& e)
    {
        EXPECT_STREQ(
            e.what(),
            "Conflux linker PythonModule (type 5) is not allowed by this installation's access rights");
    }
}

TEST(LinkerValidator, ReadsTheInstallationSettings)
{
    EntityModel::ConfluxAccessRights rights = EntityModel::ConfluxAccessRights::all();
    rights.setAllowed(static_cast<int>(LinkerType::UserDefinedDLL), false);
    const LinkerValidator validator(rights);
    EXPECT_FALSE(validator.validate(LinkerType::UserDefinedDLL, true));
    EXPECT_TRUE(validator.validate(LinkerType::PythonModule, true));
    EXPECT_TRUE(LinkerValidator(EntityModel::InstallationSettings::current().confluxAccessRights())
                    .validate(LinkerType::AIPythonEventHandler, false));
}
