#include "src/model/AttributeVisitorAbstract.h"

#include "src/model/ArrayAttribute.h"
#include "src/model/Entity.h"
#include "src/model/LinkAttribute.h"
#include "src/model/ListAttribute.h"
#include "src/model/ShortcutAttribute.h"
#include "src/model/ValueAttribute.h"

namespace Conflux::Model
{
namespace
{
template <class Visitor>
void visitEntities(Visitor& visitor, EntityLinkAttributeBase& link)
{
    for (Entity* entity : link.getEntities(false))
        entity->accept(visitor);
}
} // namespace

void AttributeVisitorAbstract::visit(Entity& entity) { visitChildren(entity); }
void AttributeVisitorAbstract::visit(CompositeAttribute& composite) { visitChildren(composite); }
void AttributeVisitorAbstract::visit(ArrayAttribute& array) { visitChildren(array); }
void AttributeVisitorAbstract::visit(ListAttribute& list) { visitChildren(list); }
void AttributeVisitorAbstract::visit(LinkAttribute& link) { visitChildren(link); }
void AttributeVisitorAbstract::visit(ShortcutAttribute&) {}
void AttributeVisitorAbstract::visit(ValueAttribute<double>&) {}
void AttributeVisitorAbstract::visit(ValueAttribute<float>&) {}
void AttributeVisitorAbstract::visit(ValueAttribute<std::string>&) {}
void AttributeVisitorAbstract::visit(ValueAttribute<bool>&) {}
void AttributeVisitorAbstract::visit(ValueAttribute<int>&) {}
AttributeVisitorAbstract::~AttributeVisitorAbstract() = default;

void AttributeVisitorAbstract::visitChildren(ArrayAttribute& array) { visitEntities(*this, array); }
void AttributeVisitorAbstract::visitChildren(LinkAttribute& link) { visitEntities(*this, link); }
void AttributeVisitorAbstract::visitChildren(ListAttribute& list) { visitEntities(*this, list); }

void AttributeVisitorAbstract::visitChildren(CompositeAttribute& composite)
{
    // Index-based: a visit may add children to this composite (they are visited too).
    for (std::size_t i = 0; i < composite.getAttributeCount(); ++i)
        composite.getAttributeAt(i)->accept(*this);
}

void AttributeVisitorAbstract::visitChildren(Entity& entity) { visitChildren(static_cast<CompositeAttribute&>(entity)); }
} // namespace Conflux::Model
