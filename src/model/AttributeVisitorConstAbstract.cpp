#include "src/model/AttributeVisitorConstAbstract.h"

#include "src/model/ArrayAttribute.h"
#include "src/model/Entity.h"
#include "src/model/LinkAttribute.h"
#include "src/model/ListAttribute.h"
#include "src/model/ShortcutAttribute.h"
#include "src/model/ValueAttribute.h"

#include <utility>

namespace Conflux::Model
{
namespace
{
template <class Visitor> void visitEntities(Visitor& visitor, const EntityLinkAttributeBase& link)
{
    // A const walk cannot change the list, so it is walked in place rather than copied.
    for (const auto& entity : link.heldEntities())
        std::as_const(*entity).accept(visitor);
}
} // namespace

void AttributeVisitorConstAbstract::visit(const Entity& entity)
{
    visitChildren(entity);
}
void AttributeVisitorConstAbstract::visit(const CompositeAttribute& composite)
{
    visitChildren(composite);
}
void AttributeVisitorConstAbstract::visit(const ArrayAttribute& array)
{
    visitChildren(array);
}
void AttributeVisitorConstAbstract::visit(const ListAttribute& list)
{
    visitChildren(list);
}
void AttributeVisitorConstAbstract::visit(const LinkAttribute& link)
{
    visitChildren(link);
}
void AttributeVisitorConstAbstract::visit(const ShortcutAttribute&) {}
void AttributeVisitorConstAbstract::visit(const ValueAttribute<double>&) {}
void AttributeVisitorConstAbstract::visit(const ValueAttribute<float>&) {}
void AttributeVisitorConstAbstract::visit(const ValueAttribute<std::string>&) {}
void AttributeVisitorConstAbstract::visit(const ValueAttribute<bool>&) {}
void AttributeVisitorConstAbstract::visit(const ValueAttribute<int>&) {}
AttributeVisitorConstAbstract::~AttributeVisitorConstAbstract() = default;

void AttributeVisitorConstAbstract::visitChildren(const ArrayAttribute& array)
{
    visitEntities(*this, array);
}
void AttributeVisitorConstAbstract::visitChildren(const LinkAttribute& link)
{
    visitEntities(*this, link);
}
void AttributeVisitorConstAbstract::visitChildren(const ListAttribute& list)
{
    visitEntities(*this, list);
}

void AttributeVisitorConstAbstract::visitChildren(const CompositeAttribute& composite)
{
    for (const auto& child : composite.getAttributes())
        child->accept(*this);
}

void AttributeVisitorConstAbstract::visitChildren(const Entity& entity)
{
    visitChildren(static_cast<const CompositeAttribute&>(entity));
}
} // namespace Conflux::Model
