#include "ModelTestSupport.h"

#include "src/model/AccessException.h"
#include "src/model/LogManager.h"
#include "src/model/ValueConversion.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>

using namespace ModelTest;

namespace
{
template <class E>
void expectThrowWithText(const std::function<void()>& call, const std::string& text)
{
    try
    {
        call();
        FAIL() << "no exception, expected " << text;
    }
    catch (const E& e)
    {
        EXPECT_EQ(e.what(), text);
    }
}

class ValueAttributeAccess : public ::testing::Test
{
protected:
    void SetUp() override { Conflux::LogManager::instance().clear(); }
    void TearDown() override { Conflux::LogManager::instance().clear(); }
};
} // namespace

TEST(ValueConversion, GettersConvertTheStoredValue)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct
    {
        const char* what;
        std::function<std::string()> get;
        std::string expected;
    } rows[] = {
        {"double to text", [] { return makeValue("v", 2.75)->getStringValue(0, false); }, "2.750000"},
        {"double to int", [] { return std::to_string(makeValue("v", -2.75)->getIntValue(0, false)); }, "-2"},
        {"double to bool", [] { return std::to_string(makeValue("v", 0.5)->getBoolValue(0, false)); }, "1"},
        {"zero to bool", [] { return std::to_string(makeValue("v", 0.0)->getBoolValue(0, false)); }, "0"},
        {"NaN to int", [=] { return std::to_string(makeValue("v", nan)->getIntValue(0, false)); }, "0"},
        {"huge to int", [] { return std::to_string(makeValue("v", 1e300)->getIntValue(0, false)); },
         std::to_string(INT_MAX)},
        {"huge to float", [] { return std::to_string(std::isinf(makeValue("v", 1e300)->getFloatValue(0, false))); },
         "1"},
        {"float to text", [] { return makeValue("v", 0.1f)->getStringValue(0, false); }, "0.100000"},
        {"float to int", [] { return std::to_string(makeValue("v", 3.9f)->getIntValue(0, false)); }, "3"},
        {"int to text", [] { return makeValue("v", -7)->getStringValue(0, false); }, "-7"},
        {"int to bool", [] { return std::to_string(makeValue("v", -7)->getBoolValue(0, false)); }, "1"},
        {"int to double", [] { return std::to_string(makeValue("v", 7)->getDoubleValue(0, false)); }, "7.000000"},
        {"bool to text", [] { return makeValue("v", true)->getStringValue(0, false); }, "Yes"},
        {"false to text", [] { return makeValue("v", false)->getStringValue(0, false); }, "No"},
        {"bool to int", [] { return std::to_string(makeValue("v", true)->getIntValue(0, false)); }, "1"},
        {"bool to float", [] { return std::to_string(makeValue("v", true)->getFloatValue(0, false)); }, "1.000000"},
        {"text to double", [] { return std::to_string(makeValue<std::string>("v", "12.5")->getDoubleValue(0, false)); },
         "12.500000"},
        {"text to int", [] { return std::to_string(makeValue<std::string>("v", "12.5")->getIntValue(0, false)); }, "12"},
        {"word to double", [] { return std::to_string(makeValue<std::string>("v", "abc")->getDoubleValue(0, false)); },
         "0.000000"},
        {"text to bool", [] { return std::to_string(makeValue<std::string>("v", "False")->getBoolValue(0, false)); },
         "0"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.get(), row.expected);
    }
    EXPECT_EQ(makeValue("v", 0.1f)->getDoubleValue(0, false), static_cast<double>(0.1f));
}

TEST(ValueConversion, SettersConvertIntoTheStoredType)
{
    const struct
    {
        const char* what;
        std::function<std::string()> set;
        std::string expected;
    } rows[] = {
        {"text into double",
         [] {
             auto v = makeValue("v", 1.0);
             v->setStringValue("abc", "", 0, false);
             return std::to_string(v->getValue(0, false));
         },
         "0.000000"},
        {"out-of-range text into double",
         [] {
             auto v = makeValue("v", 1.0);
             v->setStringValue("1e400", "", 0, false);
             return std::to_string(v->getValue(0, false));
         },
         "0.000000"},
        {"bool into double",
         [] {
             auto v = makeValue("v", 5.0);
             v->setBoolValue(true, "", 0, false);
             return std::to_string(v->getValue(0, false));
         },
         "1.000000"},
        {"negative float into int",
         [] {
             auto v = makeValue("v", 0);
             v->setFloatValue(-3.9f, "", 0, false);
             return std::to_string(v->getValue(0, false));
         },
         "-3"},
        {"number-led text into int",
         [] {
             auto v = makeValue("v", 0);
             v->setStringValue("42abc", "", 0, false);
             return std::to_string(v->getValue(0, false));
         },
         "42"},
        {"too large text into int",
         [] {
             auto v = makeValue("v", 5);
             v->setStringValue("99999999999", "", 0, false);
             return std::to_string(v->getValue(0, false));
         },
         "0"},
        {"double into text",
         [] {
             auto v = makeValue<std::string>("v", "");
             v->setDoubleValue(1.5, "", 0, false);
             return v->getValue(0, false);
         },
         "1.500000"},
        {"bool into text",
         [] {
             auto v = makeValue<std::string>("v", "");
             v->setBoolValue(false, "", 0, false);
             return v->getValue(0, false);
         },
         "No"},
        {"int into bool",
         [] {
             auto v = makeValue("v", false);
             v->setIntValue(-2, "", 0, false);
             return std::to_string(v->getValue(0, false));
         },
         "1"},
        {"double into float",
         [] {
             auto v = makeValue("v", 0.0f);
             v->setDoubleValue(0.1, "", 0, false);
             return std::to_string(v->getValue(0, false) == 0.1f);
         },
         "1"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.set(), row.expected);
    }
}

TEST(ValueConversion, BooleanTextRule)
{
    const struct
    {
        const char* text;
        bool expected;
    } rows[] = {
        {"", false},     {"No", false},  {"False", false}, {"no", true},   {"false", true}, {"Nope", true},
        {"Yes", true},   {"0", false},   {"00", false},    {"12", true},   {"0x1", false},  {"-1", true},
        {" 0", true},    {"+0", true},   {"1.0", true},    {"0.9", false}, {"99999999999", false},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Conflux::Model::textToBool(row.text), row.expected);
        auto attribute = makeValue("flag", !row.expected);
        attribute->setStringValue(row.text, "", 0, false);
        EXPECT_EQ(attribute->getValue(0, false), row.expected);
    }
}

TEST_F(ValueAttributeAccess, RefusedWritesLeaveValueAndLogUnchanged)
{
    auto& log = Conflux::LogManager::instance();
    const struct
    {
        AccessType access;
        const char* unit;
        const char* message;
        bool access_error;
    } rows[] = {
        {AccessType::ReadOnly, "", "User has no write access", true},
        {AccessType::None, "", "User has no write access", true},
        {AccessType::ReadOnly, "K", "User has no write access", true},
        {AccessType::ReadWrite, "K", "Invalid Unit", false},
        {AccessType::WriteOnly, "degC", "Invalid Unit", false},
        {AccessType::ReadWrite, "c", "Invalid Unit", false},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.message + std::string(" ") + row.unit);
        auto attribute = makeValue("T", 20.0, row.access, "C");
        const auto call = [&] { attribute->setDoubleValue(30.0, row.unit, 1, true); };
        if (row.access_error)
            expectThrowWithText<AccessException>(call, row.message);
        else
            expectThrowWithText<std::runtime_error>(call, row.message);
        EXPECT_EQ(attribute->getValue(1, false), 20.0);
        EXPECT_FALSE(attribute->hasValue(1));
        EXPECT_EQ(log.totalWrites(), 0u);
    }
}

TEST_F(ValueAttributeAccess, CheckedWritesAreLoggedAndUncheckedAreNot)
{
    auto& log = Conflux::LogManager::instance();
    auto attribute = makeValue("T", 20.0, AccessType::ReadWrite, "C");
    attribute->setDoubleValue(21.0, "", 2, true);
    attribute->setDoubleValue(22.0, "C", 2, true);
    attribute->setIntValue(23, "", 3, true);
    EXPECT_EQ(log.writeCount(attribute.get(), 2), 2u);
    EXPECT_EQ(log.writeCount(attribute.get(), 3), 1u);
    EXPECT_EQ(log.writeCount(attribute.get()), 3u);

    auto readOnly = makeValue("P", 1.0, AccessType::ReadOnly);
    readOnly->setDoubleValue(5.0, "", 0, false);
    EXPECT_EQ(readOnly->getValue(0, false), 5.0);
    EXPECT_EQ(log.writeCount(readOnly.get()), 0u);
    EXPECT_EQ(log.totalWrites(), 3u);
}

TEST_F(ValueAttributeAccess, WriteLogIsPerGenerationAndForgetsDestroyedAttributes)
{
    auto& log = Conflux::LogManager::instance();
    auto kept = makeValue("T", 20.0, AccessType::ReadWrite, "C");
    {
        auto gone = makeValue("P", 1.0, AccessType::ReadWrite);
        gone->setDoubleValue(2.0, "", 1, true);
        gone->setDoubleValue(3.0, "", 1, true);
        EXPECT_EQ(log.writeCount(gone.get(), 1), 2u);
    }
    kept->setDoubleValue(21.0, "", 1, true);
    // A destroyed attribute leaves the per-attribute answers (its address may be reused), not the total.
    EXPECT_EQ(log.writes().size(), 1u);
    EXPECT_EQ(log.totalWrites(), 3u);

    const auto generation = log.generation();
    log.beginGeneration();
    EXPECT_EQ(log.generation(), generation + 1);
    EXPECT_EQ(log.writeCount(kept.get()), 0u);
    EXPECT_EQ(log.totalWrites(), 0u);
    kept->setDoubleValue(22.0, "", 2, true);
    EXPECT_EQ(log.writeCount(kept.get(), 2), 1u);
    EXPECT_EQ(log.writeCount(kept.get(), 1), 0u);
    EXPECT_EQ(log.totalWrites(), 1u);
}

TEST_F(ValueAttributeAccess, ReadsNeedReadAccessOnlyWhenChecked)
{
    for (AccessType access : {AccessType::None, AccessType::WriteOnly})
    {
        auto attribute = makeValue<std::string>("s", "x", access);
        expectThrowWithText<AccessException>([&] { attribute->getStringValue(0, true); }, "User has no read access");
        expectThrowWithText<AccessException>([&] { attribute->getDoubleValue(0, true); }, "User has no read access");
        EXPECT_EQ(attribute->getStringValue(0, false), "x");
        EXPECT_TRUE(attribute->hasValue(0, true));
    }
    EXPECT_EQ(makeValue("i", 4, AccessType::ReadOnly)->getIntValue(0, true), 4);
}

TEST(ValueAttribute, BuilderMadeValueReadsAtLaterChronologies)
{
    auto attribute = makeValue("n", 42);
    EXPECT_EQ(attribute->getIntValue(3, false), 42);
    EXPECT_FALSE(attribute->hasValue(3));
    EXPECT_THROW(attribute->getIntValue(-1, false), std::out_of_range);
}

TEST(ValueAttribute, WithoutValueReadsFailAndWritesCreateOne)
{
    ValueAttribute<double> attribute("empty", AccessType::ReadWrite, nullptr);
    EXPECT_THROW(attribute.getDoubleValue(0, false), std::logic_error);
    EXPECT_FALSE(attribute.hasValue(0));
    attribute.setDoubleValue(3.0, "", 2, false);
    ASSERT_NE(attribute.value(), nullptr);
    EXPECT_EQ(attribute.value()->getValueType(), ValueType::Chronological);
    EXPECT_EQ(attribute.getDoubleValue(5, false), 3.0);
    EXPECT_THROW(attribute.createValue(static_cast<ValueType>(0)), std::logic_error);
}

TEST(ValueAttribute, UnitsAreReportedAndReplaced)
{
    auto attribute = makeValue("T", 1.0);
    EXPECT_FALSE(attribute->hasUnits());
    attribute->setUnit("C");
    EXPECT_TRUE(attribute->hasUnits());
    EXPECT_EQ(attribute->getUnit(), "C");
}

TEST(ValueAttribute, Equality)
{
    const auto simple = [](double v) { return makeValue("a", v, AccessType::ReadWrite, "W", ValueType::Simple); };
    EXPECT_TRUE(simple(1.0)->equals(*simple(2.0)));
    EXPECT_TRUE(makeValue("a", 1.0)->equals(*makeValue("a", 1.0)));
    EXPECT_FALSE(makeValue("a", 1.0)->equals(*makeValue("a", 2.0)));
    EXPECT_FALSE(makeValue("a", 1.0)->equals(*makeValue("b", 1.0)));
    EXPECT_FALSE(makeValue("a", 1.0)->equals(*makeValue("a", 1.0, AccessType::ReadOnly)));
    EXPECT_FALSE(makeValue("a", 1.0, AccessType::ReadWrite, "W")->equals(*makeValue("a", 1.0, AccessType::ReadWrite)));
    EXPECT_FALSE(makeValue("a", 1.0)->equals(*makeValue("a", 1.0f)));
    EXPECT_FALSE(simple(1.0)->equals(*makeValue("a", 1.0, AccessType::ReadWrite, "W")));
    ValueAttribute<double> empty("a", AccessType::ReadWrite, nullptr);
    EXPECT_FALSE(makeValue("a", 1.0)->equals(empty));
    EXPECT_TRUE(empty.equals(ValueAttribute<double>("a", AccessType::ReadWrite, nullptr)));
}
