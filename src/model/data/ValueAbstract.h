#pragma once
#include "src/model/ValueType.h"
#include "src/model/sdk/Types.h"

#include <memory>

namespace FileSystem
{
class DataOStream;
class DataIStream;
} // namespace FileSystem

namespace Conflux::Model::Data
{
template <class T>
class SimpleValue;
template <class T>
class ChronologicalValue;

/// The root of the value classes.
class ValueAbstractBase
{
public:
    virtual ~ValueAbstractBase() = default;
    virtual ValueType getValueType() const = 0;
};

/// Visits a value by its kind.
template <class T>
class ValueVisitor
{
public:
    virtual ~ValueVisitor() = default;
    virtual void visit(SimpleValue<T>& value) = 0;
    virtual void visit(ChronologicalValue<T>& value) = 0;
};

template <class T>
class ValueConstVisitor
{
public:
    virtual ~ValueConstVisitor() = default;
    virtual void visit(const SimpleValue<T>& value) = 0;
    virtual void visit(const ChronologicalValue<T>& value) = 0;
};

/// A stored value of type T: simple (one value) or chronological (one per chronology).
template <class T>
class ValueAbstract : public ValueAbstractBase
{
public:
    using Chronology = TesseraSDK::Chronology;

    /// Stores `value` for every chronology.
    virtual void setValue(const T& value) = 0;
    /// Whether a value is stored under exactly this chronology.
    virtual bool hasValue(Chronology chronology) const = 0;
    virtual void setValue(const T& value, Chronology chronology) = 0;
    virtual T getValue(Chronology chronology) const = 0;
    /// The value in force at a chronology.
    virtual const T& value(Chronology chronology) const = 0;
    /// The value stored for a chronology, made from its predecessors where the rules allow.
    virtual T& value(Chronology chronology) = 0;
    virtual std::unique_ptr<ValueAbstract<T>> clone() const = 0;
    virtual bool equals(const ValueAbstract<T>& other) const = 0;
    virtual void write(FileSystem::DataOStream& stream) const = 0;
    virtual void read(FileSystem::DataIStream& stream) = 0;
    virtual void accept(ValueConstVisitor<T>& visitor) const = 0;
    virtual void accept(ValueVisitor<T>& visitor) = 0;
};
} // namespace Conflux::Model::Data
