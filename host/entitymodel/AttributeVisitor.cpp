#include "host/entitymodel/AttributeVisitor.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/ShortcutAttribute.h"
#include "host/entitymodel/ValueAttribute.h"

namespace EntityModel
{
void AttributeVisitor::visit(CompositeAttribute* a)
{
    visit(static_cast<Attribute*>(a));
}
void AttributeVisitor::visit(CountedCompositeAttribute* a)
{
    visit(static_cast<CompositeAttribute*>(a));
}
void AttributeVisitor::visit(Entity* e)
{
    visit(static_cast<CompositeAttribute*>(e));
}
void AttributeVisitor::visit(IntAttribute* a)
{
    visit(static_cast<Attribute*>(a));
}
void AttributeVisitor::visit(BoolAttribute* a)
{
    visit(static_cast<Attribute*>(a));
}
void AttributeVisitor::visit(DoubleAttribute* a)
{
    visit(static_cast<Attribute*>(a));
}
void AttributeVisitor::visit(TypeAttribute* a)
{
    visit(static_cast<Attribute*>(a));
}
void AttributeVisitor::visit(StringAttribute* a)
{
    visit(static_cast<Attribute*>(a));
}
void AttributeVisitor::visit(FilenameAttribute* a)
{
    visit(static_cast<StringAttribute*>(a));
}
void AttributeVisitor::visit(ByteArrayAttribute* a)
{
    visit(static_cast<Attribute*>(a));
}
void AttributeVisitor::visit(CurveAttribute* a)
{
    visit(static_cast<Attribute*>(a));
}
void AttributeVisitor::visit(UnitTypeAttribute* a)
{
    visit(static_cast<Attribute*>(a));
}
void AttributeVisitor::visit(LinkAttribute* a)
{
    visit(static_cast<Attribute*>(a));
}
void AttributeVisitor::visit(ListAttribute* a)
{
    visit(static_cast<LinkAttribute*>(a));
}
void AttributeVisitor::visit(ArrayAttribute* a)
{
    visit(static_cast<LinkAttribute*>(a));
}
void AttributeVisitor::visit(ShortcutAttribute* a)
{
    visit(static_cast<Attribute*>(a));
}
} // namespace EntityModel
