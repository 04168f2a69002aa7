#pragma once
#include "src/model/AbstractAttribute.h"
#include "src/model/AttributePath.h"
#include "src/model/WriteRecord.h"
#include "src/model/sdk/IAttribute.h"

#include <memory>
#include <string>

namespace FileSystem
{
class DataOStream;
class DataIStream;
} // namespace FileSystem

namespace Conflux::Model
{
class CompositeAttribute;
class Entity;
class AttributeVisitorAbstract;
class AttributeVisitorConstAbstract;
class IAttributeImplAbstract;

using TesseraSDK::AccessType;
using TesseraSDK::AttributeType;
using TesseraSDK::Chronology;

/// A node of the exchange model: a name, an access type and the node that holds it.
///
/// Values are reached through the typed getters and setters; nodes that hold no value (composites,
/// entities, links) throw std::logic_error from them. With `checkAccess` set a getter or setter
/// enforces the access type and a setter records the write in LogManager; the system's own
/// reads pass false.
///
/// Paths: `getAttributePath(true)` names every node from the root entity (its label first) down
/// to this one; `getAttributePath(false)` starts below the nearest entity above. An entity held
/// by a link, list or array is reached through that node: root.Room.Cabinets.Cabinet 1.Power.
class Attribute : public AbstractAttribute
{
public:
    Attribute(const std::string& name, AccessType access, CompositeAttribute* parent);
    ~Attribute() override;
    Attribute(const Attribute&) = delete;
    Attribute& operator=(const Attribute&) = delete;

    /// The node's name, its label in the tree.
    const std::string& getName() const { return m_name; }
    /// The node's name as text (the label the exchange document prints).
    std::string getType() const { return m_name; }
    AccessType getAccessType() const { return m_access; }
    void setAccessType(AccessType access) { m_access = access; }

    /// The composite (or entity) holding this node; null for a root and for an entity held by a link.
    CompositeAttribute* getParent() const;
    /// The node holding this one: the parent composite, or the link, list or array of an entity.
    Attribute* getContainer() const { return m_container; }
    /// Makes `parent` the composite that holds this node (it does not move ownership).
    void setParent(CompositeAttribute* parent) { do_setParent(parent); }
    /// The nearest entity at or above this node.
    Entity* getParentEntity() const;
    /// The topmost node above (this node when it has no container).
    const Attribute* getRoot() const;
    Attribute* getRoot();

    /// The node's kind; with `resolveShortcut` a shortcut answers for its first target that resolves.
    AttributeType getAttributeType(bool resolveShortcut = false) const { return do_GetAttributeType(resolveShortcut); }
    AttributePath getAttributePath(bool full) const { return do_getAttributePath(full); }
    bool isComposite() const;
    bool isEntity() const { return getAttributeType(false) == AttributeType::Entity; }
    bool isLink() const { return getAttributeType(false) == AttributeType::Link; }
    bool isList() const { return getAttributeType(false) == AttributeType::List; }
    bool isArray() const { return getAttributeType(false) == AttributeType::Array; }
    bool isShortcut() const { return getAttributeType(false) == AttributeType::Shortcut; }
    /// True for the five value kinds.
    bool isValue() const;

    int getIntValue(Chronology chronology, bool checkAccess) const { return do_getIntValue(chronology, checkAccess); }
    bool getBoolValue(Chronology chronology, bool checkAccess) const { return do_getBoolValue(chronology, checkAccess); }
    float getFloatValue(Chronology chronology, bool checkAccess) const
    {
        return do_getFloatValue(chronology, checkAccess);
    }
    double getDoubleValue(Chronology chronology, bool checkAccess) const
    {
        return do_getDoubleValue(chronology, checkAccess);
    }
    std::string getStringValue(Chronology chronology, bool checkAccess)
    {
        return do_getStringValue(chronology, checkAccess);
    }
    void setIntValue(int value, const std::string& unit, Chronology chronology, bool checkAccess)
    {
        do_setIntValue(value, unit, chronology, checkAccess);
    }
    void setBoolValue(bool value, const std::string& unit, Chronology chronology, bool checkAccess)
    {
        do_setBoolValue(value, unit, chronology, checkAccess);
    }
    void setFloatValue(float value, const std::string& unit, Chronology chronology, bool checkAccess)
    {
        do_setFloatValue(value, unit, chronology, checkAccess);
    }
    void setDoubleValue(double value, const std::string& unit, Chronology chronology, bool checkAccess)
    {
        do_setDoubleValue(value, unit, chronology, checkAccess);
    }
    void setStringValue(const std::string& value, const std::string& unit, Chronology chronology, bool checkAccess)
    {
        do_setStringValue(value, unit, chronology, checkAccess);
    }
    /// Whether a value is stored for exactly this chronology (no access is checked).
    bool hasValue(Chronology chronology, bool checkAccess = false) const { return do_hasValue(chronology, checkAccess); }
    bool hasUnits() const { return do_hasUnits(); }
    const std::string& getUnit() const { return do_getUnit(); }
    void setUnit(const std::string& unit) { do_setUnit(unit); }

    void accept(AttributeVisitorAbstract& visitor) { do_accept(visitor); }
    void accept(AttributeVisitorConstAbstract& visitor) const { do_accept(visitor); }

    /// Writes the whole node (and what it holds) as one record.
    void write(FileSystem::DataOStream& stream) const { do_write(stream); }
    /// Reads a record written by `write` of a node of the same kind into this node. A corrupt
    /// record leaves the stream failed (the node is then partly read); a value type other than
    /// simple or chronological throws std::logic_error "Invalid type".
    void read(FileSystem::DataIStream& stream) { do_read(stream); }
    /// Same kind, same base fields and same content (values compared as values compare).
    bool equals(const Attribute& other) const { return do_equals(other); }

    /// The fields of this base: name and access type.
    void toStream(FileSystem::DataOStream& stream) const;
    void fromStream(FileSystem::DataIStream& stream);
    bool isEqual(const Attribute& other) const;

    /// The node's own SDK adapter, made on first use and kept as long as the node lives.
    TesseraSDK::Model::IAttribute* getSDKInterface();

    /// Makes an empty node of the given kind, for readers of stream records; null for no kind.
    static std::unique_ptr<Attribute> createEmpty(AttributeType type);

protected:
    // The order of these virtual operations is the published binary layout (the destructor of
    // AbstractAttribute first): never reorder them, and add new ones only in derived classes.
    virtual void do_setParent(CompositeAttribute* parent);
    virtual bool do_equals(const Attribute& other) const = 0;
    virtual void do_write(FileSystem::DataOStream& stream) const = 0;
    virtual void do_read(FileSystem::DataIStream& stream) = 0;
    /// A new SDK adapter bound to this node (owned by the caller).
    virtual std::unique_ptr<IAttributeImplAbstract> createSDKInterface() = 0;
    virtual AttributePath do_getAttributePath(bool full) const;
    virtual void do_setIntValue(int value, const std::string& unit, Chronology chronology, bool checkAccess);
    virtual void do_setBoolValue(bool value, const std::string& unit, Chronology chronology, bool checkAccess);
    virtual void do_setFloatValue(float value, const std::string& unit, Chronology chronology, bool checkAccess);
    virtual void do_setDoubleValue(double value, const std::string& unit, Chronology chronology, bool checkAccess);
    virtual void do_setStringValue(const std::string& value, const std::string& unit, Chronology chronology,
                                   bool checkAccess);
    virtual bool do_hasValue(Chronology chronology, bool checkAccess) const;
    virtual int do_getIntValue(Chronology chronology, bool checkAccess) const;
    virtual bool do_getBoolValue(Chronology chronology, bool checkAccess) const;
    virtual float do_getFloatValue(Chronology chronology, bool checkAccess) const;
    virtual double do_getDoubleValue(Chronology chronology, bool checkAccess) const;
    virtual std::string do_getStringValue(Chronology chronology, bool checkAccess);
    virtual AttributeType do_GetAttributeType(bool resolveShortcut) const = 0;
    virtual bool do_hasUnits() const;
    virtual const std::string& do_getUnit() const;
    virtual void do_setUnit(const std::string& unit);
    virtual void do_accept(AttributeVisitorConstAbstract& visitor) const = 0;
    virtual void do_accept(AttributeVisitorAbstract& visitor) = 0;

    /// Makes `container` the node holding this one (links use it for their entities).
    void setContainer(Attribute* container) { m_container = container; }
    /// std::logic_error naming this node: it holds no value.
    [[noreturn]] void throwNoValue() const;

private:
    friend class EntityLink;
    friend class Conflux::LogManager;

    std::string m_name;
    AccessType m_access;
    Attribute* m_container = nullptr;
    std::unique_ptr<IAttributeImplAbstract> m_sdk;
    /// This node's checked writes, kept by LogManager (made at the first).
    std::unique_ptr<WriteRecord> m_writes;
};
} // namespace Conflux::Model
