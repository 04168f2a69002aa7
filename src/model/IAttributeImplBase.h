#pragma once
// The SDK adapters' common part: an adapter presents one exchange node to controllers.
#include "src/model/sdk/IAttribute.h"

#include <string>

namespace Conflux::Model
{
class Attribute;

/// What the model knows of an adapter: it can hand out the SDK interface it implements.
class IAttributeImplAbstract
{
public:
    virtual ~IAttributeImplAbstract();
    virtual TesseraSDK::Model::IAttribute* sdkInterface() = 0;
};

/// The operations that adapters forward to their node. They throw as the node throws; the
/// adapters turn that into status codes. (Value reads and writes, the checked ones, go from the
/// value adapter to its value attribute directly.)
class IAttributeImplBase : public IAttributeImplAbstract
{
public:
    explicit IAttributeImplBase(Attribute* attribute) : m_attribute(attribute) {}

    Attribute* getAttribute() const { return m_attribute; }

    TesseraSDK::AttributeType getAttributeType(bool flag) const;
    std::string getType() const;
    TesseraSDK::Model::ICompositeAttribute* getParent() const;
    TesseraSDK::Model::IEntity* getParentEntity() const;
    std::string getAttributePath(bool full) const;
    bool hasValue(TesseraSDK::Chronology chronology) const;
    bool hasUnits() const;
    std::string getUnit() const;
    TesseraSDK::AccessType getAccessType() const;

protected:
    Attribute* m_attribute;
};

namespace detail
{
/// Null or empty C text from a controller as a std::string.
inline std::string text(const char* value) { return value == nullptr ? std::string() : std::string(value); }
} // namespace detail
} // namespace Conflux::Model
