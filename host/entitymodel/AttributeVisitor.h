#pragma once

namespace EntityModel
{
class Attribute;
class CompositeAttribute;
class CountedCompositeAttribute;
class Entity;
class IntAttribute;
class BoolAttribute;
class DoubleAttribute;
class TypeAttribute;
class StringAttribute;
class FilenameAttribute;
class ByteArrayAttribute;
class CurveAttribute;
class UnitTypeAttribute;
class LinkAttribute;
class ListAttribute;
class ArrayAttribute;
class ShortcutAttribute;

/// A walk over attributes: Attribute::accept calls the visit of the attribute's class, then walks
/// the children when recurse() agrees. Each visit defaults to the visit of the base class.
class AttributeVisitor
{
public:
    virtual ~AttributeVisitor() = default;

    virtual void visit(Attribute*) {}
    virtual void visit(CompositeAttribute* a);
    virtual void visit(CountedCompositeAttribute* a);
    virtual void visit(Entity* e);
    virtual void visit(IntAttribute* a);
    virtual void visit(BoolAttribute* a);
    virtual void visit(DoubleAttribute* a);
    virtual void visit(TypeAttribute* a);
    virtual void visit(StringAttribute* a);
    virtual void visit(FilenameAttribute* a);
    virtual void visit(ByteArrayAttribute* a);
    virtual void visit(CurveAttribute* a);
    virtual void visit(UnitTypeAttribute* a);
    virtual void visit(LinkAttribute* a);
    virtual void visit(ListAttribute* a);
    virtual void visit(ArrayAttribute* a);
    virtual void visit(ShortcutAttribute* a);

    /// Asked before walking into an attribute's children.
    virtual bool recurse(const Attribute*) const { return true; }
};
} // namespace EntityModel
