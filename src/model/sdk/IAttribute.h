#pragma once
// The SDK interfaces through which a controller reaches the exchange model. Every operation
// returns a Status (0 success) and passes results through out-parameters; interface pointers
// handed out stay valid as long as the exchange model lives and are never deleted by the caller.
// The order of the virtual operations is the binary contract with controllers compiled elsewhere:
// operations are never reordered, and each concrete interface declares its destructor last.
#include "src/model/sdk/IHandle.h"

#include <string>

namespace TesseraSDK::Model
{
class ICompositeAttribute;
class IEntity;

/// What every exchange node offers.
class IAttribute : public IHandle
{
public:
    /// The node's kind (the flag is passed on to the model and has no effect on value nodes).
    virtual Status getAttributeType(AttributeType* type, bool flag) const = 0;
    /// The node's name (its label in the tree).
    virtual Status getType(IString& name) const = 0;
    /// The composite holding the node (null for the root and for entities below links).
    virtual Status getParent(ICompositeAttribute** parent) const = 0;
    /// The nearest entity above (or the node itself when it is an entity).
    virtual Status getParentEntity(IEntity** entity) const = 0;
    /// The node's path as text, "." between names: from the root when `full`, else from its entity.
    virtual Status getAttributePath(IString& path, bool full) const = 0;

protected:
    ~IAttribute() = default;
};

/// A typed value; values can be read and written in every form, converted by the model's rules.
/// Writes name the unit the caller's value is in (null or empty: no claim).
template <class T>
class IValueAttribute : public IAttribute
{
public:
    virtual Status getStringValue(IString& value, Chronology chronology) const = 0;
    virtual Status setStringValue(const char* value, const char* unit, Chronology chronology) = 0;
    virtual Status getFloatValue(float* value, Chronology chronology) const = 0;
    virtual Status setFloatValue(float value, const char* unit, Chronology chronology) = 0;
    virtual Status getDoubleValue(double* value, Chronology chronology) const = 0;
    virtual Status setDoubleValue(double value, const char* unit, Chronology chronology) = 0;
    virtual Status getIntValue(int* value, Chronology chronology) const = 0;
    virtual Status setIntValue(int value, const char* unit, Chronology chronology) = 0;
    virtual Status getBoolValue(bool* value, Chronology chronology) const = 0;
    virtual Status setBoolValue(bool value, const char* unit, Chronology chronology) = 0;
    virtual Status hasValue(bool* result, Chronology chronology) const = 0;
    virtual Status hasUnits(bool* result) const = 0;
    virtual Status getUnit(IString& unit) const = 0;
    virtual Status getAccessType(AccessType* access) const = 0;

protected:
    virtual ~IValueAttribute() = default;
};

/// A named group of nodes.
class ICompositeAttribute : public IAttribute
{
public:
    virtual Status getAccessType(AccessType* access) const = 0;
    virtual Status getAttributeCount(std::int32_t* count) const = 0;
    /// The child at `index` (0-based, in order).
    virtual Status getAttributeAt(std::int32_t index, IAttribute** child) const = 0;
    /// The node at a path relative to this composite ("." between names); -2 when absent.
    virtual Status findAttribute(const char* path, IAttribute** node) const = 0;

protected:
    virtual ~ICompositeAttribute() = default;
};

/// An entity of the model: a composite with the name and identifier of the project's entity.
class IEntity : public ICompositeAttribute
{
public:
    virtual Status getName(IString& name) const = 0;
    virtual Status getEntityID(std::int32_t* first, std::int32_t* second) const = 0;
};

/// What link, list and array nodes share: the entities they link.
class IEntityLinkAttribute : public IAttribute
{
public:
    virtual Status getAccessType(AccessType* access) const = 0;
    /// The label of the entity type the node links.
    virtual Status getLinkedType(IString& type) const = 0;
    virtual Status getEntityCount(std::int32_t* count) const = 0;
    virtual Status getEntityAt(std::int32_t index, IEntity** entity) const = 0;

protected:
    virtual ~IEntityLinkAttribute() = default;
};

class ILinkAttribute : public IEntityLinkAttribute
{
};

class IListAttribute : public IEntityLinkAttribute
{
};

class IArrayAttribute : public IEntityLinkAttribute
{
};

/// A node standing for other nodes of the model, named by paths.
class IShortcutAttribute : public IAttribute
{
public:
    virtual Status getAccessType(AccessType* access) const = 0;
    virtual Status getTargetCount(std::int32_t* count) const = 0;
    virtual Status getTargetPath(std::int32_t index, IString& path) const = 0;
    /// The first target that resolves; -2 when none does.
    virtual Status getTarget(IAttribute** target) const = 0;

protected:
    virtual ~IShortcutAttribute() = default;
};
} // namespace TesseraSDK::Model
