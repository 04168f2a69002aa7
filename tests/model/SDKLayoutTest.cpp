// Pins the order of the virtual operations that a controller library, compiled elsewhere against
// the published headers, relies on. Each operation is first located through its member pointer
// (so that a wrong order fails with the operation's name) and then called through its vtable
// entry by index, on a known attribute, where it must do what its slot stands for.
#include "ModelTestSupport.h"

#include "host/filesystem/TextDataIStream.h"
#include "host/filesystem/TextDataOStream.h"
#include "src/model/AttributeVisitorAbstract.h"
#include "src/model/AttributeVisitorConstAbstract.h"
#include "src/model/IAttributeImpl.h"
#include "src/model/LogManager.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <sstream>
#include <type_traits>

using namespace ModelTest;
using namespace TesseraSDK;

#if defined(__clang__)
#define CALLS_THROUGH_FOREIGN_TYPES __attribute__((no_sanitize("function")))
#else
#define CALLS_THROUGH_FOREIGN_TYPES
#endif

namespace
{
static_assert(sizeof(void*) == 8 && sizeof(std::ptrdiff_t) == 8,
              "the probe reads 64-bit Itanium C++ ABI vtables");

using IDouble = TesseraSDK::Model::IValueAttribute<double>;

// Under the Itanium C++ ABI (g++ and clang) a virtual destructor fills two entries, the complete
// and the deleting destructor; the published slot numbers count it once.
constexpr int entryOf(int slot, int destructorSlot)
{
    return slot > destructorSlot ? slot + 1 : slot;
}

/// The vtable entry that a pointer to a virtual member function stands for (Itanium: 1 + offset).
template <class Member> int entryOfMember(Member member)
{
    static_assert(std::is_member_function_pointer_v<Member> && sizeof(Member) == 2 * sizeof(std::ptrdiff_t));
    std::ptrdiff_t words[2];
    std::memcpy(words, &member, sizeof words);
    return (words[0] & 1) != 0 ? static_cast<int>((words[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*)))
                               : -1;
}

/// Calls entry `index` of the vtable of `object` as a controller's code does: a plain function
/// that takes the object first.
template <class R, class... Args, class Object>
CALLS_THROUGH_FOREIGN_TYPES R callEntry(Object* object, int index, std::type_identity_t<Args>... args)
{
    using Function = R (*)(Object*, Args...);
    void* const* table = *reinterpret_cast<void* const* const*>(object);
    return reinterpret_cast<Function>(table[index])(object, args...);
}

struct Slot
{
    int slot;
    const char* operation;
    int memberEntry;
    std::function<void(int entry)> probe;
};

/// Checks every operation's entry against its published slot, then probes each slot by index.
void checkSlots(const std::vector<Slot>& slots, int destructorSlot)
{
    for (const Slot& slot : slots)
    {
        SCOPED_TRACE(slot.operation);
        EXPECT_EQ(slot.memberEntry, entryOf(slot.slot, destructorSlot)) << "slot " << slot.slot;
    }
    // Calling a misplaced entry would call another operation with foreign arguments.
    if (::testing::Test::HasFailure())
        return;
    for (const Slot& slot : slots)
    {
        SCOPED_TRACE(slot.operation);
        slot.probe(entryOf(slot.slot, destructorSlot));
    }
}

std::string receive(const std::function<Status(IString*)>& call, Status expected = StatusCode::Success)
{
    std::string text = "unset";
    StdString receiver(text);
    EXPECT_EQ(call(&receiver), expected);
    return text;
}

/// An adapter that counts its destructions.
struct CountingAdapter : Conflux::Model::IAttributeImpl<IDouble>
{
    using IAttributeImpl::IAttributeImpl;
    ~CountingAdapter() override { ++destroyed; }
    static inline int destroyed = 0;
};

/// A double attribute that counts its destructions and names the protected operations.
struct AttributeSlots : ValueAttribute<double>
{
    using ValueAttribute::ValueAttribute;
    ~AttributeSlots() override { ++destroyed; }
    static inline int destroyed = 0;

    using Self = AttributeSlots;
    using Ex = ValueAttributeEx<double>;
    static int setParentEntry() { return entryOfMember(&Self::do_setParent); }
    static int equalsEntry() { return entryOfMember(&Self::do_equals); }
    static int writeEntry() { return entryOfMember(&Self::do_write); }
    static int readEntry() { return entryOfMember(&Self::do_read); }
    static int createSDKEntry() { return entryOfMember(&Self::createSDKInterface); }
    static int pathEntry() { return entryOfMember(&Self::do_getAttributePath); }
    static int setIntEntry() { return entryOfMember(&Self::do_setIntValue); }
    static int setBoolEntry() { return entryOfMember(&Self::do_setBoolValue); }
    static int setFloatEntry() { return entryOfMember(&Self::do_setFloatValue); }
    static int setDoubleEntry() { return entryOfMember(&Self::do_setDoubleValue); }
    static int setStringEntry() { return entryOfMember(&Self::do_setStringValue); }
    static int hasValueEntry() { return entryOfMember(&Self::do_hasValue); }
    static int getIntEntry() { return entryOfMember(&Self::do_getIntValue); }
    static int getBoolEntry() { return entryOfMember(&Self::do_getBoolValue); }
    static int getFloatEntry() { return entryOfMember(&Self::do_getFloatValue); }
    static int getDoubleEntry() { return entryOfMember(&Self::do_getDoubleValue); }
    static int getStringEntry() { return entryOfMember(&Self::do_getStringValue); }
    static int typeEntry() { return entryOfMember(&Self::do_GetAttributeType); }
    static int hasUnitsEntry() { return entryOfMember(&Self::do_hasUnits); }
    static int getUnitEntry() { return entryOfMember(&Self::do_getUnit); }
    static int setUnitEntry() { return entryOfMember(&Self::do_setUnit); }
    static int acceptConstEntry()
    {
        return entryOfMember(
            static_cast<void (Ex::*)(AttributeVisitorConstAbstract&) const>(&Self::do_accept));
    }
    static int acceptEntry()
    {
        return entryOfMember(static_cast<void (Ex::*)(AttributeVisitorAbstract&)>(&Self::do_accept));
    }
};

/// Which visit a value attribute's accept called.
struct ConstSeen : AttributeVisitorConstAbstract
{
    std::string seen;
    void visit(const ValueAttribute<double>& value) override { seen = "const " + value.getName(); }
};
struct MutableSeen : AttributeVisitorAbstract
{
    std::string seen;
    void visit(ValueAttribute<double>& value) override { seen = "mutable " + value.getName(); }
};

template <class Visitor, template <class> class Ref> struct VisitorSlots : Visitor
{
    template <class Node> static int visitEntry()
    {
        return entryOfMember(static_cast<void (Visitor::*)(Ref<Node>)>(&Visitor::visit));
    }
    template <class Node> static int childrenEntry()
    {
        return entryOfMember(static_cast<void (Visitor::*)(Ref<Node>)>(&VisitorSlots::visitChildren));
    }
};
template <class T> using MutableRef = T&;
template <class T> using ConstRef = const T&;

class BinaryLayout : public ::testing::Test
{
protected:
    void SetUp() override { Conflux::LogManager::instance().clear(); }
    void TearDown() override { Conflux::LogManager::instance().clear(); }
};
} // namespace

TEST_F(BinaryLayout, ValueAttributeSDKInterfaceSlotsAreThePublishedOnes)
{
    auto root = std::make_unique<Entity>("Project", "P", AccessType::ReadWrite, nullptr);
    auto* group = add(*root, std::make_unique<CompositeAttribute>("Group", AccessType::ReadOnly, nullptr));
    auto* attribute = add(*group, makeValue("T", 20.5, AccessType::ReadWrite, "C"));
    auto* h = dynamic_cast<IDouble*>(attribute->getSDKInterface());
    ASSERT_NE(h, nullptr);
    const auto value = [&](Chronology chronology) { return attribute->getValue(chronology, false); };

    const std::vector<Slot> slots{
        {0, "getInterfaceVersion", entryOfMember(&IDouble::getInterfaceVersion),
         [&](int e)
         {
             std::int32_t version = 0;
             EXPECT_EQ((callEntry<Status, std::int32_t*>(h, e, &version)), StatusCode::Success);
             EXPECT_EQ(version, 1);
         }},
        {1, "getLastErrorMessage", entryOfMember(&IDouble::getLastErrorMessage),
         [&](int e)
         {
             ASSERT_EQ(h->setDoubleValue(1.0, "K", 0), StatusCode::RuntimeError);
             EXPECT_EQ(receive([&](IString* r) { return callEntry<Status, IString*>(h, e, r); }),
                       "Invalid Unit");
         }},
        {2, "getLastStatus", entryOfMember(&IDouble::getLastStatus),
         [&](int e)
         {
             Status status = 0;
             EXPECT_EQ((callEntry<Status, Status*>(h, e, &status)), StatusCode::Success);
             EXPECT_EQ(status, StatusCode::RuntimeError);
         }},
        {3, "getAttributeType", entryOfMember(&IDouble::getAttributeType),
         [&](int e)
         {
             AttributeType type{};
             EXPECT_EQ((callEntry<Status, AttributeType*, bool>(h, e, &type, false)), StatusCode::Success);
             EXPECT_EQ(type, AttributeType::Double);
         }},
        {4, "getType", entryOfMember(&IDouble::getType),
         [&](int e)
         { EXPECT_EQ(receive([&](IString* r) { return callEntry<Status, IString*>(h, e, r); }), "T"); }},
        {5, "getParent", entryOfMember(&IDouble::getParent),
         [&](int e)
         {
             TesseraSDK::Model::ICompositeAttribute* parent = nullptr;
             EXPECT_EQ((callEntry<Status, TesseraSDK::Model::ICompositeAttribute**>(h, e, &parent)),
                       StatusCode::Success);
             EXPECT_EQ(parent, group->getSDKInterface());
         }},
        {6, "getParentEntity", entryOfMember(&IDouble::getParentEntity),
         [&](int e)
         {
             TesseraSDK::Model::IEntity* entity = nullptr;
             EXPECT_EQ((callEntry<Status, TesseraSDK::Model::IEntity**>(h, e, &entity)), StatusCode::Success);
             EXPECT_EQ(entity, root->getSDKInterface());
         }},
        {7, "getAttributePath", entryOfMember(&IDouble::getAttributePath),
         [&](int e)
         {
             EXPECT_EQ(receive([&](IString* r) { return callEntry<Status, IString*, bool>(h, e, r, true); }),
                       "Project.Group.T");
         }},
        {8, "getStringValue", entryOfMember(&IDouble::getStringValue),
         [&](int e)
         {
             EXPECT_EQ(
                 receive([&](IString* r) { return callEntry<Status, IString*, Chronology>(h, e, r, 0); }),
                 "20.500000");
         }},
        {9, "setStringValue", entryOfMember(&IDouble::setStringValue),
         [&](int e)
         {
             EXPECT_EQ((callEntry<Status, const char*, const char*, Chronology>(h, e, "21.25", "C", 1)),
                       StatusCode::Success);
             EXPECT_EQ(value(1), 21.25);
         }},
        {10, "getFloatValue", entryOfMember(&IDouble::getFloatValue),
         [&](int e)
         {
             float read = 0;
             EXPECT_EQ((callEntry<Status, float*, Chronology>(h, e, &read, 1)), StatusCode::Success);
             EXPECT_EQ(read, 21.25f);
         }},
        {11, "setFloatValue", entryOfMember(&IDouble::setFloatValue),
         [&](int e)
         {
             EXPECT_EQ((callEntry<Status, float, const char*, Chronology>(h, e, 22.5f, nullptr, 1)),
                       StatusCode::Success);
             EXPECT_EQ(value(1), 22.5);
         }},
        {12, "getDoubleValue", entryOfMember(&IDouble::getDoubleValue),
         [&](int e)
         {
             double read = 0;
             EXPECT_EQ((callEntry<Status, double*, Chronology>(h, e, &read, 1)), StatusCode::Success);
             EXPECT_EQ(read, 22.5);
         }},
        {13, "setDoubleValue", entryOfMember(&IDouble::setDoubleValue),
         [&](int e)
         {
             EXPECT_EQ((callEntry<Status, double, const char*, Chronology>(h, e, 23.75, "", 1)),
                       StatusCode::Success);
             EXPECT_EQ(value(1), 23.75);
         }},
        {14, "getIntValue", entryOfMember(&IDouble::getIntValue),
         [&](int e)
         {
             int read = 0;
             EXPECT_EQ((callEntry<Status, int*, Chronology>(h, e, &read, 1)), StatusCode::Success);
             EXPECT_EQ(read, 23);
         }},
        {15, "setIntValue", entryOfMember(&IDouble::setIntValue),
         [&](int e)
         {
             EXPECT_EQ((callEntry<Status, int, const char*, Chronology>(h, e, 24, "C", 1)),
                       StatusCode::Success);
             EXPECT_EQ(value(1), 24.0);
         }},
        {16, "getBoolValue", entryOfMember(&IDouble::getBoolValue),
         [&](int e)
         {
             bool read = false;
             EXPECT_EQ((callEntry<Status, bool*, Chronology>(h, e, &read, 1)), StatusCode::Success);
             EXPECT_TRUE(read);
         }},
        {17, "setBoolValue", entryOfMember(&IDouble::setBoolValue),
         [&](int e)
         {
             EXPECT_EQ((callEntry<Status, bool, const char*, Chronology>(h, e, false, "", 1)),
                       StatusCode::Success);
             EXPECT_EQ(value(1), 0.0);
         }},
        {18, "hasValue", entryOfMember(&IDouble::hasValue),
         [&](int e)
         {
             bool has = false;
             EXPECT_EQ((callEntry<Status, bool*, Chronology>(h, e, &has, 1)), StatusCode::Success);
             EXPECT_TRUE(has);
             EXPECT_EQ((callEntry<Status, bool*, Chronology>(h, e, &has, 4)), StatusCode::Success);
             EXPECT_FALSE(has);
         }},
        {19, "hasUnits", entryOfMember(&IDouble::hasUnits),
         [&](int e)
         {
             bool has = false;
             EXPECT_EQ((callEntry<Status, bool*>(h, e, &has)), StatusCode::Success);
             EXPECT_TRUE(has);
         }},
        {20, "getUnit", entryOfMember(&IDouble::getUnit),
         [&](int e)
         { EXPECT_EQ(receive([&](IString* r) { return callEntry<Status, IString*>(h, e, r); }), "C"); }},
        {21, "getAccessType", entryOfMember(&IDouble::getAccessType),
         [&](int e)
         {
             AccessType access{};
             EXPECT_EQ((callEntry<Status, AccessType*>(h, e, &access)), StatusCode::Success);
             EXPECT_EQ(access, AccessType::ReadWrite);
         }},
        // The destructor has no member pointer: its deleting entry (the second) must free the adapter.
        {22, "destructor", entryOf(22, 22),
         [&](int e)
         {
             CountingAdapter::destroyed = 0;
             IDouble* adapter = new CountingAdapter(attribute);
             callEntry<void>(adapter, e + 1);
             EXPECT_EQ(CountingAdapter::destroyed, 1);
         }},
    };
    checkSlots(slots, 22);
    EXPECT_EQ(Conflux::LogManager::instance().writeCount(attribute, 1), 5u);
}

TEST_F(BinaryLayout, AttributeSlotsAreThePublishedOnes)
{
    using S = AttributeSlots;
    auto root = std::make_unique<Entity>("Project", "P", AccessType::ReadWrite, nullptr);
    auto* group = add(*root, std::make_unique<CompositeAttribute>("Group", AccessType::ReadOnly, nullptr));
    auto* probe = add(*group, std::make_unique<AttributeSlots>("T", AccessType::ReadWrite, nullptr));
    probe->createValue(ValueType::Chronological).setValue(20.0);
    probe->setUnit("C");
    Attribute* a = probe;
    const std::string unit = "C";
    std::stringstream record;

    const std::vector<Slot> slots{
        {1, "do_setParent", S::setParentEntry(),
         [&](int e)
         {
             CompositeAttribute other("Other", AccessType::ReadOnly, nullptr);
             callEntry<void, CompositeAttribute*>(a, e, &other);
             EXPECT_EQ(a->getParent(), &other);
             a->setParent(group);
         }},
        {2, "do_equals", S::equalsEntry(),
         [&](int e)
         {
             auto same = makeValue("T", 20.0, AccessType::ReadWrite, "C");
             auto other = makeValue("T", 20.0, AccessType::ReadWrite, "K");
             EXPECT_TRUE((callEntry<bool, const Attribute&>(a, e, *same)));
             EXPECT_FALSE((callEntry<bool, const Attribute&>(a, e, *other)));
         }},
        {3, "do_write", S::writeEntry(),
         [&](int e)
         {
             FileSystem::TextDataOStream stream(record);
             callEntry<void, FileSystem::DataOStream&>(a, e, stream);
             EXPECT_NE(record.str().find("<Attribute:"), std::string::npos);
         }},
        {4, "do_read", S::readEntry(),
         [&](int e)
         {
             ValueAttribute<double> back("", AccessType::None, nullptr);
             FileSystem::TextDataIStream stream(record);
             callEntry<void, FileSystem::DataIStream&>(&back, e, stream);
             EXPECT_TRUE(back.equals(*a));
             EXPECT_EQ(back.getValue(0, false), 20.0);
         }},
        {5, "createSDKInterface", S::createSDKEntry(),
         [&](int e)
         {
             auto adapter = callEntry<std::unique_ptr<Conflux::Model::IAttributeImplAbstract>>(a, e);
             ASSERT_NE(adapter, nullptr);
             EXPECT_NE(dynamic_cast<IDouble*>(adapter->sdkInterface()), nullptr);
         }},
        {6, "do_getAttributePath", S::pathEntry(),
         [&](int e)
         { EXPECT_EQ((callEntry<AttributePath, bool>(a, e, true)).toString(), "Project.Group.T"); }},
        {7, "do_setIntValue", S::setIntEntry(),
         [&](int e)
         {
             callEntry<void, int, const std::string&, Chronology, bool>(a, e, 5, unit, 1, true);
             EXPECT_EQ(probe->getValue(1, false), 5.0);
         }},
        {8, "do_setBoolValue", S::setBoolEntry(),
         [&](int e)
         {
             callEntry<void, bool, const std::string&, Chronology, bool>(a, e, true, unit, 1, true);
             EXPECT_EQ(probe->getValue(1, false), 1.0);
         }},
        {9, "do_setFloatValue", S::setFloatEntry(),
         [&](int e)
         {
             callEntry<void, float, const std::string&, Chronology, bool>(a, e, 2.5f, unit, 1, true);
             EXPECT_EQ(probe->getValue(1, false), 2.5);
         }},
        {10, "do_setDoubleValue", S::setDoubleEntry(),
         [&](int e)
         {
             callEntry<void, double, const std::string&, Chronology, bool>(a, e, 3.25, unit, 1, true);
             EXPECT_EQ(probe->getValue(1, false), 3.25);
         }},
        {11, "do_setStringValue", S::setStringEntry(),
         [&](int e)
         {
             callEntry<void, const std::string&, const std::string&, Chronology, bool>(a, e, "4.5", unit, 1,
                                                                                       true);
             EXPECT_EQ(probe->getValue(1, false), 4.5);
         }},
        {12, "do_hasValue", S::hasValueEntry(),
         [&](int e)
         {
             EXPECT_TRUE((callEntry<bool, Chronology, bool>(a, e, 1, false)));
             EXPECT_FALSE((callEntry<bool, Chronology, bool>(a, e, 4, false)));
         }},
        {13, "do_getIntValue", S::getIntEntry(),
         [&](int e) { EXPECT_EQ((callEntry<int, Chronology, bool>(a, e, 1, true)), 4); }},
        {14, "do_getBoolValue", S::getBoolEntry(),
         [&](int e) { EXPECT_TRUE((callEntry<bool, Chronology, bool>(a, e, 1, true))); }},
        {15, "do_getFloatValue", S::getFloatEntry(),
         [&](int e) { EXPECT_EQ((callEntry<float, Chronology, bool>(a, e, 1, true)), 4.5f); }},
        {16, "do_getDoubleValue", S::getDoubleEntry(),
         [&](int e) { EXPECT_EQ((callEntry<double, Chronology, bool>(a, e, 1, true)), 4.5); }},
        {17, "do_getStringValue", S::getStringEntry(),
         [&](int e) { EXPECT_EQ((callEntry<std::string, Chronology, bool>(a, e, 1, true)), "4.500000"); }},
        {18, "do_GetAttributeType", S::typeEntry(),
         [&](int e) { EXPECT_EQ((callEntry<AttributeType, bool>(a, e, false)), AttributeType::Double); }},
        {19, "do_hasUnits", S::hasUnitsEntry(), [&](int e) { EXPECT_TRUE(callEntry<bool>(a, e)); }},
        {20, "do_getUnit", S::getUnitEntry(),
         [&](int e) { EXPECT_EQ(callEntry<const std::string&>(a, e), "C"); }},
        {21, "do_setUnit", S::setUnitEntry(),
         [&](int e)
         {
             callEntry<void, const std::string&>(a, e, "K");
             EXPECT_EQ(a->getUnit(), "K");
             a->setUnit("C");
         }},
        {22, "do_accept (const visitor)", S::acceptConstEntry(),
         [&](int e)
         {
             ConstSeen visitor;
             callEntry<void, AttributeVisitorConstAbstract&>(a, e, visitor);
             EXPECT_EQ(visitor.seen, "const T");
         }},
        {23, "do_accept", S::acceptEntry(),
         [&](int e)
         {
             MutableSeen visitor;
             callEntry<void, AttributeVisitorAbstract&>(a, e, visitor);
             EXPECT_EQ(visitor.seen, "mutable T");
         }},
        // The destructor comes first; its deleting entry (the second) must free the node.
        {0, "destructor", entryOf(0, 0),
         [&](int e)
         {
             AttributeSlots::destroyed = 0;
             Attribute* node = new AttributeSlots("Loose", AccessType::ReadWrite, nullptr);
             callEntry<void>(node, e + 1);
             EXPECT_EQ(AttributeSlots::destroyed, 1);
         }},
    };
    checkSlots(slots, 0);
}

TEST_F(BinaryLayout, VisitorSlotsAreThePublishedOnes)
{
    // visit for each node class, the destructor (slot 11), then the protected visitChildren.
    const auto check = [](auto slots, const char* visitor)
    {
        using V = decltype(slots);
        const std::vector<std::pair<const char*, int>> members{
            {"visit(Entity)", V::template visitEntry<Entity>()},
            {"visit(CompositeAttribute)", V::template visitEntry<CompositeAttribute>()},
            {"visit(ArrayAttribute)", V::template visitEntry<ArrayAttribute>()},
            {"visit(ListAttribute)", V::template visitEntry<ListAttribute>()},
            {"visit(LinkAttribute)", V::template visitEntry<LinkAttribute>()},
            {"visit(ShortcutAttribute)", V::template visitEntry<ShortcutAttribute>()},
            {"visit(double)", V::template visitEntry<ValueAttribute<double>>()},
            {"visit(float)", V::template visitEntry<ValueAttribute<float>>()},
            {"visit(string)", V::template visitEntry<ValueAttribute<std::string>>()},
            {"visit(bool)", V::template visitEntry<ValueAttribute<bool>>()},
            {"visit(int)", V::template visitEntry<ValueAttribute<int>>()},
            {"visitChildren(ArrayAttribute)", V::template childrenEntry<ArrayAttribute>()},
            {"visitChildren(LinkAttribute)", V::template childrenEntry<LinkAttribute>()},
            {"visitChildren(ListAttribute)", V::template childrenEntry<ListAttribute>()},
            {"visitChildren(CompositeAttribute)", V::template childrenEntry<CompositeAttribute>()},
            {"visitChildren(Entity)", V::template childrenEntry<Entity>()},
        };
        for (std::size_t i = 0; i < members.size(); ++i)
        {
            SCOPED_TRACE(std::string(visitor) + " " + members[i].first);
            const int slot = i < 11 ? static_cast<int>(i) : static_cast<int>(i) + 1;
            EXPECT_EQ(members[i].second, entryOf(slot, 11));
        }
    };
    check(VisitorSlots<AttributeVisitorAbstract, MutableRef>(), "mutable");
    check(VisitorSlots<AttributeVisitorConstAbstract, ConstRef>(), "const");
}
