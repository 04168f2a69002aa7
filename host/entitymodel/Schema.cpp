#include "host/entitymodel/Schema.h"

#include <array>
#include <stdexcept>
#include <utility>

namespace EntityModel
{
namespace
{
constexpr std::array<std::pair<AttributeKind, const char*>, 15> kindNames{{
    {AttributeKind::Composite, "composite"},
    {AttributeKind::CountedComposite, "counted"},
    {AttributeKind::Int, "int"},
    {AttributeKind::Bool, "bool"},
    {AttributeKind::Double, "double"},
    {AttributeKind::Type, "type"},
    {AttributeKind::String, "string"},
    {AttributeKind::Filename, "filename"},
    {AttributeKind::ByteArray, "bytes"},
    {AttributeKind::Curve, "curve"},
    {AttributeKind::UnitType, "unit"},
    {AttributeKind::Link, "link"},
    {AttributeKind::List, "list"},
    {AttributeKind::Array, "array"},
    {AttributeKind::Shortcut, "shortcut"},
}};
} // namespace

std::string kindName(AttributeKind kind)
{
    for (const auto& [k, name] : kindNames)
        if (k == kind)
            return name;
    return {};
}

std::optional<AttributeKind> kindFromName(const std::string& name)
{
    for (const auto& [k, n] : kindNames)
        if (name == n)
            return k;
    return std::nullopt;
}

std::string RuleDefinition::toString() const
{
    std::string text;
    for (const auto& c : conditions)
    {
        if (!text.empty())
            text += " and ";
        text += c.path.toString('.') + (c.negate ? " notIn [" : " in [");
        for (std::size_t i = 0; i < c.values.size(); ++i)
            text += (i ? ", " : "") + c.values[i];
        text += "]";
    }
    return text;
}

const AttributeDefinition* AttributeDefinition::findChild(TypeRef childName) const
{
    for (const auto& child : children)
        if (child.name == childName)
            return &child;
    return nullptr;
}

Schema& Schema::instance()
{
    static Schema schema;
    return schema;
}

void Schema::add(EntityDefinition definition)
{
    TypeRef type = definition.type;
    definitions_[type] = std::make_shared<const EntityDefinition>(std::move(definition));
}

const EntityDefinition* Schema::find(TypeRef type) const
{
    auto it = definitions_.find(type);
    return it == definitions_.end() ? nullptr : it->second.get();
}

const EntityDefinition& Schema::get(TypeRef type) const
{
    if (const EntityDefinition* definition = find(type))
        return *definition;
    throw std::runtime_error("Unknown entity type '" + type.getLabel() + "'");
}

std::shared_ptr<const EntityDefinition> Schema::share(TypeRef type) const
{
    auto it = definitions_.find(type);
    return it == definitions_.end() ? nullptr : it->second;
}
} // namespace EntityModel
