#include "src/model/data/ValueContainer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Conflux::Model;
using Data::ChronologicalValue;
using Data::SimpleValue;

namespace
{
ChronologicalValue<double> valueWith(std::initializer_list<std::pair<int, double>> entries)
{
    ChronologicalValue<double> value;
    for (const auto& [chronology, v] : entries)
        value.setValue(v, chronology);
    return value;
}

void expectOutOfRange(const std::function<void()>& call)
{
    try
    {
        call();
        FAIL() << "no exception";
    }
    catch (const std::out_of_range& e)
    {
        EXPECT_STREQ(e.what(), "Chronology Out Of Range");
    }
}
} // namespace

TEST(ChronologicalValue, ReadsNearestEarlierChronology)
{
    const auto value = valueWith({{0, 10.0}, {2, 12.0}});
    const struct
    {
        int chronology;
        double expected;
    } rows[] = {{0, 10.0}, {1, 10.0}, {2, 12.0}, {3, 12.0}, {1000, 12.0}};
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.chronology);
        EXPECT_EQ(value.getValue(row.chronology), row.expected);
        EXPECT_EQ(value.value(row.chronology), row.expected);
    }
    expectOutOfRange([&] { value.getValue(-1); });
    expectOutOfRange([] { ChronologicalValue<double>().getValue(5); });
}

TEST(ChronologicalValue, HasValueOnlyForStoredChronologies)
{
    const auto value = valueWith({{0, 1.0}});
    EXPECT_TRUE(value.hasValue(0));
    EXPECT_FALSE(value.hasValue(1));
    EXPECT_EQ(value.getValue(1), 1.0);
    EXPECT_TRUE(SimpleValue<double>().hasValue(-5));
}

TEST(ChronologicalValue, MutableLookupMakesMissingPredecessorsOneToFour)
{
    auto value = valueWith({{0, 7.0}});
    value.value(3) = 9.0;
    ASSERT_EQ(value.entries().size(), 4u);
    EXPECT_EQ(value.entries().at(1), 7.0);
    EXPECT_EQ(value.entries().at(2), 7.0);
    EXPECT_EQ(value.entries().at(3), 9.0);

    auto fromTwo = valueWith({{0, 1.0}, {2, 2.0}});
    EXPECT_EQ(fromTwo.value(4), 2.0);
    EXPECT_EQ(fromTwo.entries().size(), 4u);
    EXPECT_EQ(fromTwo.entries().at(3), 2.0);
}

TEST(ChronologicalValue, MutableLookupRefusesOtherMissingChronologies)
{
    for (int chronology : {0, 5, -1, 100})
    {
        SCOPED_TRACE(chronology);
        auto value = valueWith({{2, 1.0}});
        expectOutOfRange([&] { value.value(chronology); });
        EXPECT_EQ(value.entries().size(), 1u);
    }
    // Without chronology 0 the chain down from 1 cannot end.
    ChronologicalValue<double> empty;
    expectOutOfRange([&] { empty.value(1); });
    EXPECT_TRUE(empty.entries().empty());
}

TEST(ChronologicalValue, SetValueOverwritesEveryEntryOrCreatesChronologyZero)
{
    ChronologicalValue<double> empty;
    empty.setValue(3.0);
    ASSERT_EQ(empty.entries().size(), 1u);
    EXPECT_EQ(empty.entries().at(0), 3.0);

    auto value = valueWith({{0, 1.0}, {2, 2.0}});
    value.setValue(5.0);
    ASSERT_EQ(value.entries().size(), 2u);
    EXPECT_EQ(value.entries().at(0), 5.0);
    EXPECT_EQ(value.entries().at(2), 5.0);
}

TEST(ChronologicalValue, EqualityComparesEntriesAndNaNEqualsNothing)
{
    EXPECT_TRUE(valueWith({{0, 1.0}, {2, 2.0}}).equals(valueWith({{0, 1.0}, {2, 2.0}})));
    EXPECT_FALSE(valueWith({{0, 1.0}, {2, 2.0}}).equals(valueWith({{0, 1.0}, {3, 2.0}})));
    EXPECT_FALSE(valueWith({{0, 1.0}}).equals(valueWith({{0, 1.5}})));
    EXPECT_FALSE(valueWith({{0, 1.0}}).equals(valueWith({{0, 1.0}, {1, 1.0}})));
    EXPECT_FALSE(valueWith({{0, 1.0}}).equals(SimpleValue<double>(1.0)));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(valueWith({{0, nan}}).equals(valueWith({{0, nan}})));
}

TEST(SimpleValue, EqualToAnySimpleValueWhateverItsContent)
{
    EXPECT_TRUE(SimpleValue<int>(1).equals(SimpleValue<int>(2)));
    ChronologicalValue<int> chronological;
    EXPECT_FALSE(SimpleValue<int>(1).equals(chronological));
}

TEST(ValueContainer, CreatesOnlyKnownTypesAndCopiesDeeply)
{
    Data::ValueContainer<std::string> container;
    EXPECT_FALSE(container);
    try
    {
        container.create(static_cast<ValueType>(3));
        FAIL() << "no exception";
    }
    catch (const std::logic_error& e)
    {
        EXPECT_STREQ(e.what(), "Invalid type");
    }
    container.create(ValueType::Chronological).setValue("a");
    Data::ValueContainer<std::string> copy = container;
    copy->setValue("b", 1);
    EXPECT_FALSE(container->hasValue(1));
    EXPECT_EQ(copy->getValue(0), "a");
    EXPECT_FALSE(container.equals(copy));
    EXPECT_TRUE(Data::ValueContainer<std::string>().equals(Data::ValueContainer<std::string>()));
    EXPECT_FALSE(container.equals(Data::ValueContainer<std::string>()));
}
