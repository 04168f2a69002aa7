#include "ModelTestSupport.h"

#include "src/model/AccessException.h"
#include "src/model/LinkAttribute.h"
#include "src/model/LogManager.h"
#include "src/model/ShortcutAttribute.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>

using namespace ModelTest;
using namespace TesseraSDK;

namespace
{
using IDouble = TesseraSDK::Model::IValueAttribute<double>;

template <class T>
TesseraSDK::Model::IValueAttribute<T>* sdk(ValueAttribute<T>& attribute)
{
    return dynamic_cast<TesseraSDK::Model::IValueAttribute<T>*>(attribute.getSDKInterface());
}

std::string lastMessage(const IHandle& handle)
{
    std::string message = "unset";
    StdString receiver(message);
    EXPECT_EQ(handle.getLastErrorMessage(receiver), StatusCode::Success);
    return message;
}

Status lastStatus(const IHandle& handle)
{
    Status status = 1;
    EXPECT_EQ(handle.getLastStatus(&status), StatusCode::Success);
    return status;
}

struct Probe : Handle<IHandle, 3>
{
    using Handle::call;
};

class SDK : public ::testing::Test
{
protected:
    void SetUp() override { Conflux::LogManager::instance().clear(); }
    void TearDown() override { Conflux::LogManager::instance().clear(); }
};
} // namespace

TEST_F(SDK, DoublesCrossInDoublePrecision)
{
    auto attribute = makeValue("T", 0.0, AccessType::ReadWrite, "C");
    IDouble* handle = sdk(*attribute);
    ASSERT_NE(handle, nullptr);
    for (double value : {0.1, 293.15123456, 1.0 / 3.0, -1e-300})
    {
        SCOPED_TRACE(value);
        ASSERT_EQ(handle->setDoubleValue(value, "C", 2), StatusCode::Success);
        EXPECT_EQ(attribute->getValue(2, false), value);
        double read = 0;
        ASSERT_EQ(handle->getDoubleValue(&read, 2), StatusCode::Success);
        EXPECT_EQ(read, value);
    }
    float single = 0;
    ASSERT_EQ(handle->getFloatValue(&single, 2), StatusCode::Success);
    EXPECT_EQ(single, static_cast<float>(-1e-300));
}

TEST_F(SDK, FailuresBecomeStatusCodesWithTheirMessage)
{
    auto writeOnly = makeValue("W", 1.0, AccessType::WriteOnly, "C");
    auto readWrite = makeValue("RW", 1.0, AccessType::ReadWrite, "C");
    auto readOnly = makeValue("R", 1.0, AccessType::ReadOnly, "C");
    ValueAttribute<double> valueless("none", AccessType::ReadWrite, nullptr);
    double out = 0;
    const struct
    {
        const char* what;
        IDouble* handle;
        std::function<Status(IDouble*)> call;
        Status status;
        const char* message;
    } rows[] = {
        {"no read access", sdk(*writeOnly), [&](IDouble* h) { return h->getDoubleValue(&out, 0); },
         StatusCode::RuntimeError, "User has no read access"},
        {"no write access", sdk(*readOnly), [](IDouble* h) { return h->setDoubleValue(2.0, "", 0); },
         StatusCode::RuntimeError, "User has no write access"},
        {"wrong unit", sdk(*readWrite), [](IDouble* h) { return h->setDoubleValue(2.0, "K", 0); },
         StatusCode::RuntimeError, "Invalid Unit"},
        {"before first chronology", sdk(*readWrite), [&](IDouble* h) { return h->getDoubleValue(&out, -1); },
         StatusCode::OutOfRange, "Chronology Out Of Range"},
        {"no value", sdk(valueless), [&](IDouble* h) { return h->getDoubleValue(&out, 0); }, StatusCode::LogicError,
         "Attribute 'none' has no value"},
        {"null result", sdk(*readWrite), [](IDouble* h) { return h->getIntValue(nullptr, 0); },
         StatusCode::LogicError, "Null result pointer"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.call(row.handle), row.status);
        EXPECT_EQ(lastStatus(*row.handle), row.status);
        EXPECT_EQ(lastMessage(*row.handle), row.message);
    }
    EXPECT_EQ(readOnly->getValue(0, false), 1.0);
    EXPECT_EQ(readWrite->getValue(0, false), 1.0);
    EXPECT_EQ(Conflux::LogManager::instance().totalWrites(), 0u);
}

TEST_F(SDK, AdapterStaysUsableAndSuccessClearsTheMessage)
{
    auto attribute = makeValue("T", 5.0, AccessType::ReadWrite, "C");
    auto* handle = sdk(*attribute);
    ASSERT_EQ(handle->setDoubleValue(1.0, "K", 0), StatusCode::RuntimeError);
    ASSERT_EQ(lastMessage(*handle), "Invalid Unit");
    EXPECT_EQ(handle->setDoubleValue(6.0, "", 0), StatusCode::Success);
    EXPECT_EQ(lastStatus(*handle), StatusCode::Success);
    EXPECT_EQ(lastMessage(*handle), "");
    EXPECT_EQ(Conflux::LogManager::instance().writeCount(attribute.get(), 0), 1u);
}

TEST_F(SDK, EveryValueFormAndAttributeQuery)
{
    auto root = std::make_unique<Entity>("Project", "P", AccessType::ReadWrite, nullptr);
    root->setEntityID(EntityID({4, 2}));
    auto* group = add(*root, std::make_unique<CompositeAttribute>("Group", AccessType::ReadOnly, nullptr));
    auto* flag = add(*group, makeValue("Flag", false, AccessType::ReadWrite));
    auto* handle = sdk(*flag);

    std::string text;
    StdString receiver(text);
    EXPECT_EQ(handle->setStringValue("No", nullptr, 1), StatusCode::Success);
    EXPECT_EQ(handle->getStringValue(receiver, 1), StatusCode::Success);
    EXPECT_EQ(text, "No");
    EXPECT_EQ(handle->setIntValue(3, "", 1), StatusCode::Success);
    int number = 0;
    EXPECT_EQ(handle->getIntValue(&number, 1), StatusCode::Success);
    EXPECT_EQ(number, 1);
    bool has = false;
    EXPECT_EQ(handle->hasValue(&has, 1), StatusCode::Success);
    EXPECT_TRUE(has);
    EXPECT_EQ(handle->hasUnits(&has), StatusCode::Success);
    EXPECT_FALSE(has);

    AttributeType type{};
    EXPECT_EQ(handle->getAttributeType(&type, false), StatusCode::Success);
    EXPECT_EQ(type, AttributeType::Boolean);
    AccessType access{};
    EXPECT_EQ(handle->getAccessType(&access), StatusCode::Success);
    EXPECT_EQ(access, AccessType::ReadWrite);
    EXPECT_EQ(handle->getAttributePath(receiver, true), StatusCode::Success);
    EXPECT_EQ(text, "Project.Group.Flag");
    EXPECT_EQ(handle->getAttributePath(receiver, false), StatusCode::Success);
    EXPECT_EQ(text, "Group.Flag");
    std::int32_t version = 0;
    EXPECT_EQ(handle->getInterfaceVersion(&version), StatusCode::Success);
    EXPECT_EQ(version, 1);

    TesseraSDK::Model::ICompositeAttribute* parent = nullptr;
    ASSERT_EQ(handle->getParent(&parent), StatusCode::Success);
    EXPECT_EQ(parent, group->getSDKInterface());
    TesseraSDK::Model::IEntity* entity = nullptr;
    ASSERT_EQ(handle->getParentEntity(&entity), StatusCode::Success);
    ASSERT_EQ(entity, root->getSDKInterface());
    EXPECT_EQ(entity->getName(receiver), StatusCode::Success);
    EXPECT_EQ(text, "P");
    std::int32_t first = 0, second = 0;
    EXPECT_EQ(entity->getEntityID(&first, &second), StatusCode::Success);
    EXPECT_EQ(std::make_pair(first, second), std::make_pair(4, 2));
    TesseraSDK::Model::ICompositeAttribute* none = parent;
    EXPECT_EQ(entity->getParent(&none), StatusCode::Success);
    EXPECT_EQ(none, nullptr);
}

TEST_F(SDK, CompositeLinkAndShortcutAdaptersFindValues)
{
    auto root = std::make_unique<Entity>("Project", "P", AccessType::ReadWrite, nullptr);
    auto* link = add(*root, std::make_unique<LinkAttribute>("Coolers", "Cooler", AccessType::ReadOnly, true, nullptr));
    auto* cooler = link->addEntity(std::make_unique<Entity>("Cooler", "C1", AccessType::ReadWrite, nullptr));
    auto* setPoint = add(*cooler, makeValue("Set point", 18.0, AccessType::ReadWrite, "C"));
    add(*cooler, makeValue("Hidden", 1, AccessType::None));
    auto* shortcut = add(*root, std::make_unique<ShortcutAttribute>("Set", AccessType::ReadWrite, nullptr));
    shortcut->addShortcut(AttributePath("Coolers.Cooler.Set point"));
    auto* broken = add(*root, std::make_unique<ShortcutAttribute>("Broken", AccessType::ReadWrite, nullptr));
    broken->addShortcut(AttributePath("Nowhere"));

    auto* entity = dynamic_cast<TesseraSDK::Model::IEntity*>(root->getSDKInterface());
    ASSERT_NE(entity, nullptr);
    std::int32_t count = 0;
    EXPECT_EQ(entity->getAttributeCount(&count), StatusCode::Success);
    EXPECT_EQ(count, 3);
    TesseraSDK::Model::IAttribute* node = nullptr;
    EXPECT_EQ(entity->getAttributeAt(3, &node), StatusCode::OutOfRange);
    EXPECT_EQ(entity->findAttribute("Coolers.Cooler.Set point", &node), StatusCode::Success);
    EXPECT_EQ(node, setPoint->getSDKInterface());
    EXPECT_EQ(entity->findAttribute("Coolers.Cooler.Hidden", &node), StatusCode::RuntimeError);
    EXPECT_EQ(lastMessage(*entity), "Attribute 'Coolers.Cooler.Hidden' not found in 'Project'");

    auto* links = dynamic_cast<TesseraSDK::Model::ILinkAttribute*>(link->getSDKInterface());
    ASSERT_NE(links, nullptr);
    EXPECT_EQ(links->getEntityCount(&count), StatusCode::Success);
    EXPECT_EQ(count, 1);
    TesseraSDK::Model::IEntity* linked = nullptr;
    EXPECT_EQ(links->getEntityAt(0, &linked), StatusCode::Success);
    EXPECT_EQ(linked, cooler->getSDKInterface());
    link->setAccessType(AccessType::None);
    EXPECT_EQ(links->getEntityCount(&count), StatusCode::RuntimeError);
    EXPECT_EQ(lastMessage(*links), "User has no read access");

    auto* shortcuts = dynamic_cast<TesseraSDK::Model::IShortcutAttribute*>(shortcut->getSDKInterface());
    ASSERT_NE(shortcuts, nullptr);
    EXPECT_EQ(shortcuts->getTarget(&node), StatusCode::Success);
    EXPECT_EQ(node, setPoint->getSDKInterface());
    auto* brokenHandle = dynamic_cast<TesseraSDK::Model::IShortcutAttribute*>(broken->getSDKInterface());
    EXPECT_EQ(brokenHandle->getTarget(&node), StatusCode::RuntimeError);
    EXPECT_EQ(lastMessage(*brokenHandle), "Shortcut 'Project.Broken' has no target");
}

TEST(SDKHandle, ExceptionTypesMapToStatusCodesInOrder)
{
    const struct
    {
        const char* what;
        std::function<void()> operation;
        Status status;
        const char* message;
    } rows[] = {
        {"success", [] {}, StatusCode::Success, ""},
        {"runtime error", [] { throw std::runtime_error("r"); }, StatusCode::RuntimeError, "r"},
        {"access", [] { throw Conflux::Model::AccessException("a"); }, StatusCode::RuntimeError, "a"},
        {"range error is a runtime error", [] { throw std::range_error("g"); }, StatusCode::RuntimeError, "g"},
        {"out of range", [] { throw std::out_of_range("o"); }, StatusCode::OutOfRange, "o"},
        {"logic error", [] { throw std::logic_error("l"); }, StatusCode::LogicError, "l"},
        {"other exception", [] { throw std::bad_alloc(); }, StatusCode::OtherException, "std::bad_alloc"},
        {"not an exception", [] { throw 42; }, StatusCode::UnknownException, "Unknown Exception"},
    };
    Probe probe;
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(probe.call(row.operation), row.status);
        EXPECT_EQ(lastStatus(probe), row.status);
        EXPECT_EQ(lastMessage(probe), row.message);
    }
    std::int32_t version = 0;
    EXPECT_EQ(probe.getInterfaceVersion(&version), StatusCode::Success);
    EXPECT_EQ(version, 3);
}

TEST(SDKHandle, ThrowingReceiverGivesUnknownException)
{
    struct Throwing : IString
    {
        void assign(const char*, std::size_t) override { throw std::runtime_error("full"); }
    } receiver;
    Probe probe;
    probe.call([] { throw std::runtime_error("message"); });
    EXPECT_EQ(probe.getLastErrorMessage(receiver), StatusCode::UnknownException);
    EXPECT_EQ(lastMessage(probe), "message");
}
