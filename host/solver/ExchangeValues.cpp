#include "host/solver/ExchangeValues.h"

#include "src/model/Attribute.h"
#include "src/model/CompositeAttribute.h"
#include "src/model/Entity.h"
#include "src/model/EntityCollection.h"
#include "src/model/EntityLinkAttributeBase.h"

#include <charconv>
#include <stdexcept>

namespace CFDSolver
{
using Conflux::Model::Attribute;
using TesseraSDK::AttributeType;

namespace
{
/// The names of the entities from below the root down to `entity`, "." between them.
std::string entityChain(const Conflux::Model::Entity& entity)
{
    std::vector<const Conflux::Model::Entity*> chain;
    for (const Conflux::Model::Entity* at = &entity; at != nullptr;)
    {
        chain.push_back(at);
        const Attribute* container = at->getContainer();
        at = container != nullptr ? container->getParentEntity() : nullptr;
    }
    std::string text;
    // The last one is the root, which the short paths leave out.
    for (std::size_t i = chain.size() - 1; i-- > 0;)
    {
        if (!text.empty())
            text += '.';
        text += chain[i]->getName();
    }
    return text;
}

double shortestDouble(float value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    double result = value;
    std::from_chars(text, end, result);
    return result;
}

void collect(Attribute& node, std::vector<Attribute*>& values)
{
    if (node.isValue())
    {
        values.push_back(&node);
        return;
    }
    if (node.isComposite())
    {
        for (const auto& child : static_cast<Conflux::Model::CompositeAttribute&>(node).getAttributes())
            collect(*child, values);
        return;
    }
    if (node.isLink() || node.isList() || node.isArray())
        for (const auto& entity : static_cast<Conflux::Model::EntityLinkAttributeBase&>(node).heldEntities())
            collect(*entity, values);
}
} // namespace

ExchangeValues::ExchangeValues(const Conflux::Model::EntityCollection& model) : m_root(model.root())
{
    std::vector<Attribute*> nodes;
    for (const auto& root : model)
        collect(*root, nodes);
    std::map<std::string, int> uses;
    std::vector<std::string> shortPaths;
    for (Attribute* node : nodes)
    {
        const std::string chain = entityChain(*node->getParentEntity());
        const std::string inside = node->getAttributePath(false).toString();
        shortPaths.push_back(chain.empty() ? inside : chain + "." + inside);
        ++uses[shortPaths.back()];
    }
    for (std::size_t i = 0; i < nodes.size(); ++i)
    {
        const std::string full = nodes[i]->getAttributePath(true).toString();
        const std::string& path = uses[shortPaths[i]] == 1 ? shortPaths[i] : full;
        m_values.push_back({nodes[i], path});
        m_byPath.emplace(path, i);
        m_byPath.emplace(full, i);
        m_byAttribute.emplace(nodes[i], i);
    }
}

const ExchangeValues::Value* ExchangeValues::find(const std::string& path) const
{
    const auto found = m_byPath.find(path);
    return found == m_byPath.end() ? nullptr : &m_values[found->second];
}

const ExchangeValues::Value* ExchangeValues::find(const Attribute* attribute) const
{
    const auto found = m_byAttribute.find(attribute);
    return found == m_byAttribute.end() ? nullptr : &m_values[found->second];
}

ExchangeScalar ExchangeValues::read(const Attribute& attribute, bool checkAccess)
{
    const AttributeType type = attribute.getAttributeType(false);
    if (checkAccess && !TesseraSDK::canRead(attribute.getAccessType()))
        throw std::runtime_error("User has no read access");
    const bool stored = attribute.hasValue(chronology);
    switch (type)
    {
    case AttributeType::Boolean:
        return stored ? attribute.getBoolValue(chronology, false) : false;
    case AttributeType::Integer:
        return stored ? attribute.getIntValue(chronology, false) : 0;
    case AttributeType::Float:
        // A single-precision value reads as the decimal it was written as (16.3, not 16.299999...).
        return stored ? shortestDouble(attribute.getFloatValue(chronology, false)) : 0.0;
    case AttributeType::Double:
        return stored ? attribute.getDoubleValue(chronology, false) : 0.0;
    case AttributeType::String:
        return stored ? const_cast<Attribute&>(attribute).getStringValue(chronology, false) : std::string();
    case AttributeType::Composite:
    case AttributeType::Entity:
    case AttributeType::Link:
    case AttributeType::List:
    case AttributeType::Shortcut:
    case AttributeType::Array:
        break;
    }
    throw std::logic_error("Exchange node " + attribute.getAttributePath(true).toString() + " holds no value");
}

std::string ExchangeValues::kindMismatch(const Attribute& attribute, const ExchangeScalar& value)
{
    switch (attribute.getAttributeType(false))
    {
    case AttributeType::Boolean:
        return std::holds_alternative<bool>(value) ? std::string() : "the value is not a boolean";
    case AttributeType::Integer:
        return std::holds_alternative<int>(value) ? std::string() : "the value is not a whole number";
    case AttributeType::Float:
    case AttributeType::Double:
        return std::holds_alternative<double>(value) || std::holds_alternative<int>(value)
                   ? std::string()
                   : "the value is not a number";
    case AttributeType::String:
        return std::holds_alternative<std::string>(value) ? std::string() : "the value is not a text";
    case AttributeType::Composite:
    case AttributeType::Entity:
    case AttributeType::Link:
    case AttributeType::List:
    case AttributeType::Shortcut:
    case AttributeType::Array:
        break;
    }
    return "the node holds no value";
}

void ExchangeValues::write(Attribute& attribute, const ExchangeScalar& value, bool checkAccess)
{
    if (const std::string why = kindMismatch(attribute, value); !why.empty())
        throw std::runtime_error(why);
    const std::string& unit = attribute.getUnit();
    if (const bool* flag = std::get_if<bool>(&value))
        attribute.setBoolValue(*flag, unit, chronology, checkAccess);
    else if (const int* whole = std::get_if<int>(&value))
    {
        if (attribute.getAttributeType(false) == AttributeType::Integer)
            attribute.setIntValue(*whole, unit, chronology, checkAccess);
        else
            attribute.setDoubleValue(*whole, unit, chronology, checkAccess);
    }
    else if (const double* number = std::get_if<double>(&value))
        attribute.setDoubleValue(*number, unit, chronology, checkAccess);
    else
        attribute.setStringValue(std::get<std::string>(value), unit, chronology, checkAccess);
}

std::string ExchangeValues::toText(const ExchangeScalar& value)
{
    if (const bool* flag = std::get_if<bool>(&value))
        return *flag ? "true" : "false";
    if (const int* whole = std::get_if<int>(&value))
        return std::to_string(*whole);
    if (const double* number = std::get_if<double>(&value))
    {
        char text[32];
        return std::string(text, std::to_chars(text, text + sizeof text, *number).ptr);
    }
    return std::get<std::string>(value);
}
} // namespace CFDSolver
