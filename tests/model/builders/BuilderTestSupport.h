#pragma once
// Project entities made in code for the builder tests, with exactly the exchange flags a test needs.
#include "host/entitymodel/DataFactory.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/Schema.h"
#include "src/model/CompositeAttribute.h"
#include "src/model/Entity.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace BuilderTest
{
using namespace EntityModel;

/// An attribute definition made in a few chained calls.
struct Def
{
    AttributeDefinition d;

    Def(AttributeKind kind, const std::string& name, const std::string& value = {})
    {
        d.kind = kind;
        d.name = TypeRef(name);
        d.defaultValue = value;
    }
    Def& flagged()
    {
        d.exchange.flagged = true;
        return *this;
    }
    Def& exchangeReadOnly()
    {
        d.exchange.readOnly = true;
        return *this;
    }
    Def& declared(const std::string& type)
    {
        d.exchange.declaredType = type;
        return *this;
    }
    Def& label(const std::string& text)
    {
        d.exchange.label = text;
        return *this;
    }
    Def& hidden()
    {
        d.exchange.hidden = true;
        return *this;
    }
    Def& hideHeader()
    {
        d.exchange.hideHeader = true;
        return *this;
    }
    Def& redirect(const std::string& sibling)
    {
        d.exchange.redirect = TypeRef(sibling);
        return *this;
    }
    Def& shortcut(const std::string& dotted)
    {
        d.exchange.shortcuts.push_back(AttributePath(dotted));
        return *this;
    }
    /// An exchange read-only rule that holds while the sibling `path` reads one of `values`.
    Def& readOnlyRule(const std::string& path, std::vector<std::string> values)
    {
        d.exchange.readOnlyRule = RuleDefinition{{RuleCondition{AttributePath(path), std::move(values), false}}};
        return *this;
    }
    Def& quantity(const std::string& q)
    {
        d.quantity = TypeRef(q);
        return *this;
    }
    Def& bounds(std::optional<double> min, std::optional<double> max)
    {
        d.min = min;
        d.max = max;
        return *this;
    }
    Def& children(const std::vector<Def>& members)
    {
        for (const auto& member : members)
            d.children.push_back(member.d);
        return *this;
    }
    /// An owning link of the given kind's linked types.
    Def& linked(std::vector<std::string> types, bool flag)
    {
        for (const auto& type : types)
            d.linkedTypes.push_back(TypeRef(type));
        d.owning = true;
        d.linkFlag = flag;
        return *this;
    }
    Def& targets(const std::vector<std::string>& paths)
    {
        for (const auto& path : paths)
            d.targets.push_back(AttributePath(path));
        return *this;
    }
};

inline Def composite(const std::string& name, const std::vector<Def>& members)
{
    return Def(AttributeKind::Composite, name).children(members);
}

/// The exchange switch every exchangeable entity type carries.
inline Def exchangeSwitch(bool on)
{
    return composite("Conflux", {Def(AttributeKind::Bool, "Active", on ? "true" : "false")});
}

inline std::shared_ptr<const EntityDefinition> entityType(const std::string& type, const std::vector<Def>& attributes)
{
    auto definition = std::make_shared<EntityDefinition>();
    definition->type = TypeRef(type);
    for (const auto& attribute : attributes)
        definition->attributes.push_back(attribute.d);
    return definition;
}

inline std::unique_ptr<Entity> make(const std::shared_ptr<const EntityDefinition>& type, const std::string& name)
{
    return DataFactory::createEntity(type, name);
}

/// Hands `child` to the owning link at `linkPath` of `owner`.
inline Entity* adopt(Entity* owner, const std::string& linkPath, std::unique_ptr<Entity> child)
{
    return static_cast<LinkAttribute*>(owner->findAttribute(linkPath))->adopt(std::move(child));
}

/// The exchange node at a dotted path below a composite (null when absent).
inline Conflux::Model::Attribute* node(Conflux::Model::CompositeAttribute* from, const std::string& dotted)
{
    return from ? from->findAttribute(Conflux::Model::AttributePath(dotted), false) : nullptr;
}
} // namespace BuilderTest
