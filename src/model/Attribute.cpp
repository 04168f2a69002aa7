#include "src/model/Attribute.h"

#include "src/model/ArrayAttribute.h"
#include "src/model/CompositeAttribute.h"
#include "src/model/Entity.h"
#include "src/model/IAttributeImplBase.h"
#include "src/model/LinkAttribute.h"
#include "src/model/ListAttribute.h"
#include "src/model/ShortcutAttribute.h"
#include "src/model/ValueAttribute.h"
#include "host/filesystem/DataIStream.h"
#include "host/filesystem/DataOStream.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace Conflux::Model
{
Attribute::Attribute(const std::string& name, AccessType access, CompositeAttribute* parent)
    : m_name(name), m_access(access), m_container(parent)
{
}

Attribute::~Attribute() = default;

CompositeAttribute* Attribute::getParent() const { return dynamic_cast<CompositeAttribute*>(m_container); }

Entity* Attribute::getParentEntity() const
{
    for (const Attribute* node = this; node != nullptr; node = node->m_container)
        if (auto* entity = dynamic_cast<const Entity*>(node))
            return const_cast<Entity*>(entity);
    return nullptr;
}

const Attribute* Attribute::getRoot() const
{
    const Attribute* node = this;
    while (node->m_container != nullptr)
        node = node->m_container;
    return node;
}

Attribute* Attribute::getRoot() { return const_cast<Attribute*>(std::as_const(*this).getRoot()); }

bool Attribute::isComposite() const
{
    const AttributeType type = getAttributeType(false);
    return type == AttributeType::Composite || type == AttributeType::Entity;
}

bool Attribute::isValue() const
{
    switch (getAttributeType(false))
    {
    case AttributeType::Integer:
    case AttributeType::Boolean:
    case AttributeType::String:
    case AttributeType::Float:
    case AttributeType::Double: return true;
    case AttributeType::Composite:
    case AttributeType::Entity:
    case AttributeType::Link:
    case AttributeType::List:
    case AttributeType::Shortcut:
    case AttributeType::Array: return false;
    }
    return false;
}

void Attribute::toStream(FileSystem::DataOStream& stream) const
{
    stream.field("Name", m_name);
    stream.field("AccessType", static_cast<std::int32_t>(m_access));
}

void Attribute::fromStream(FileSystem::DataIStream& stream)
{
    stream.field("Name", m_name);
    stream.label("AccessType");
    const auto access = stream.read<std::int32_t>();
    if (access < 0 || access > 3)
        stream.setFailed("Attribute '" + m_name + "': invalid access type " + std::to_string(access));
    else
        m_access = static_cast<AccessType>(access);
}

bool Attribute::isEqual(const Attribute& other) const { return m_name == other.m_name && m_access == other.m_access; }

TesseraSDK::Model::IAttribute* Attribute::getSDKInterface()
{
    if (!m_sdk)
        m_sdk = createSDKInterface();
    return m_sdk->sdkInterface();
}

std::unique_ptr<Attribute> Attribute::createEmpty(AttributeType type)
{
    switch (type)
    {
    case AttributeType::Integer: return std::make_unique<ValueAttribute<int>>("", AccessType::None, nullptr);
    case AttributeType::Boolean: return std::make_unique<ValueAttribute<bool>>("", AccessType::None, nullptr);
    case AttributeType::String: return std::make_unique<ValueAttribute<std::string>>("", AccessType::None, nullptr);
    case AttributeType::Float: return std::make_unique<ValueAttribute<float>>("", AccessType::None, nullptr);
    case AttributeType::Double: return std::make_unique<ValueAttribute<double>>("", AccessType::None, nullptr);
    case AttributeType::Composite: return std::make_unique<CompositeAttribute>("", AccessType::None, nullptr);
    case AttributeType::Entity: return std::make_unique<Entity>("", "", AccessType::None, nullptr);
    case AttributeType::Link: return std::make_unique<LinkAttribute>("", "", AccessType::None, false, nullptr);
    case AttributeType::List: return std::make_unique<ListAttribute>("", "", AccessType::None, false, nullptr);
    case AttributeType::Array: return std::make_unique<ArrayAttribute>("", "", AccessType::None, false, nullptr);
    case AttributeType::Shortcut: return std::make_unique<ShortcutAttribute>("", AccessType::None, nullptr);
    }
    return nullptr;
}

void Attribute::do_setParent(CompositeAttribute* parent) { m_container = parent; }

AttributePath Attribute::do_getAttributePath(bool full) const
{
    std::vector<std::string> names;
    for (const Attribute* node = this; node != nullptr; node = node->m_container)
    {
        if (!full && node != this && dynamic_cast<const Entity*>(node) != nullptr)
            break;
        names.push_back(node->m_name);
    }
    std::reverse(names.begin(), names.end());
    return AttributePath(std::move(names));
}

void Attribute::throwNoValue() const
{
    throw std::logic_error("Attribute '" + getAttributePath(true).toString() + "' holds no value");
}

void Attribute::do_setIntValue(int, const std::string&, Chronology, bool) { throwNoValue(); }
void Attribute::do_setBoolValue(bool, const std::string&, Chronology, bool) { throwNoValue(); }
void Attribute::do_setFloatValue(float, const std::string&, Chronology, bool) { throwNoValue(); }
void Attribute::do_setDoubleValue(double, const std::string&, Chronology, bool) { throwNoValue(); }
void Attribute::do_setStringValue(const std::string&, const std::string&, Chronology, bool) { throwNoValue(); }
bool Attribute::do_hasValue(Chronology, bool) const { return false; }
int Attribute::do_getIntValue(Chronology, bool) const { throwNoValue(); }
bool Attribute::do_getBoolValue(Chronology, bool) const { throwNoValue(); }
float Attribute::do_getFloatValue(Chronology, bool) const { throwNoValue(); }
double Attribute::do_getDoubleValue(Chronology, bool) const { throwNoValue(); }
std::string Attribute::do_getStringValue(Chronology, bool)
{
    throwNoValue();
}
bool Attribute::do_hasUnits() const { return false; }

const std::string& Attribute::do_getUnit() const
{
    static const std::string none;
    return none;
}

void Attribute::do_setUnit(const std::string&) { throwNoValue(); }
} // namespace Conflux::Model
