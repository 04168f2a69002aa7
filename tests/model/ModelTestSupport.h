#pragma once
// Small helpers to build exchange models in tests.
#include "src/model/CompositeAttribute.h"
#include "src/model/Entity.h"
#include "src/model/ValueAttribute.h"

#include <memory>
#include <string>

namespace ModelTest
{
using namespace Conflux::Model;

/// A value attribute made as the builder makes one: chronological, initial value under chronology 0.
template <class T>
std::unique_ptr<ValueAttribute<T>> makeValue(const std::string& name, const T& initial,
                                             AccessType access = AccessType::ReadWrite, const std::string& unit = "",
                                             ValueType type = ValueType::Chronological)
{
    auto attribute = std::make_unique<ValueAttribute<T>>(name, access, nullptr);
    attribute->createValue(type).setValue(initial);
    attribute->setUnit(unit);
    return attribute;
}

/// Adds a child to a composite and returns it with its own class.
template <class A>
A* add(CompositeAttribute& parent, std::unique_ptr<A> child)
{
    return static_cast<A*>(parent.addAttribute(std::move(child)));
}
} // namespace ModelTest
