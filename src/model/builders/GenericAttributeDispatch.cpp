#include "src/model/builders/GenericAttributeDispatch.h"

#include "host/entitymodel/Attribute.h"
#include "host/entitymodel/AttributeVisitor.h"
#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/ShortcutAttribute.h"
#include "host/entitymodel/ValueAttribute.h"

namespace Conflux::Model
{
void visitByKind(EntityModel::AttributeVisitor& visitor, EntityModel::Attribute* attribute)
{
    if (attribute->isBoolAttribute())
        visitor.visit(static_cast<EntityModel::BoolAttribute*>(attribute));
    else if (attribute->isShortcutAttribute())
        visitor.visit(static_cast<EntityModel::ShortcutAttribute*>(attribute));
    else if (attribute->isCurveAttribute())
        visitor.visit(static_cast<EntityModel::CurveAttribute*>(attribute));
    else if (attribute->isArrayAttribute())
        visitor.visit(static_cast<EntityModel::ArrayAttribute*>(attribute));
}
} // namespace Conflux::Model
