#pragma once
#include <string>

namespace Conflux::Model
{
class Entity;
class CompositeAttribute;
class ArrayAttribute;
class ListAttribute;
class LinkAttribute;
class ShortcutAttribute;
template <class T>
class ValueAttribute;

/// A walk over the exchange model that may change it. The default visit of an entity or
/// composite visits its attributes in order, that of a link, list or array the entities it
/// holds; the defaults for shortcuts and values do nothing.
class AttributeVisitorAbstract
{
public:
    virtual void visit(Entity& entity);
    virtual void visit(CompositeAttribute& composite);
    virtual void visit(ArrayAttribute& array);
    virtual void visit(ListAttribute& list);
    virtual void visit(LinkAttribute& link);
    virtual void visit(ShortcutAttribute& shortcut);
    virtual void visit(ValueAttribute<double>& value);
    virtual void visit(ValueAttribute<float>& value);
    virtual void visit(ValueAttribute<std::string>& value);
    virtual void visit(ValueAttribute<bool>& value);
    virtual void visit(ValueAttribute<int>& value);
    virtual ~AttributeVisitorAbstract();

protected:
    // Virtual, so that a walk can change how it descends (the published layout has them so).
    virtual void visitChildren(ArrayAttribute& array);
    virtual void visitChildren(LinkAttribute& link);
    virtual void visitChildren(ListAttribute& list);
    virtual void visitChildren(CompositeAttribute& composite);
    virtual void visitChildren(Entity& entity);
};
} // namespace Conflux::Model
