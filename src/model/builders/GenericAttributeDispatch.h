#pragma once

namespace EntityModel
{
class Attribute;
class AttributeVisitor;
} // namespace EntityModel

namespace Conflux::Model
{
/// Hands a host attribute that reached `visitor` as a plain Attribute on to the visit of its kind
/// (bool, shortcut, curve or array); other kinds are left alone. The builders' one dispatch.
void visitByKind(EntityModel::AttributeVisitor& visitor, EntityModel::Attribute* attribute);
} // namespace Conflux::Model
