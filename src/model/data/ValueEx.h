#pragma once
#include "src/model/data/ValueAbstract.h"

namespace Conflux::Model::Data
{
/// Supplies the kind, the copy and the visitor entry points of the value class Derived.
template <class T, class Derived, ValueType Type, class Base = ValueAbstract<T>>
class ValueEx : public Base
{
public:
    ValueType getValueType() const override { return Type; }
    std::unique_ptr<ValueAbstract<T>> clone() const override
    {
        return std::make_unique<Derived>(static_cast<const Derived&>(*this));
    }
    void accept(ValueConstVisitor<T>& visitor) const override { visitor.visit(static_cast<const Derived&>(*this)); }
    void accept(ValueVisitor<T>& visitor) override { visitor.visit(static_cast<Derived&>(*this)); }
};
} // namespace Conflux::Model::Data
