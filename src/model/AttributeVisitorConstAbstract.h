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

/// A read-only walk over the exchange model. The default visit of an entity or
/// composite visits its attributes in order, that of a link, list or array the entities it
/// holds; the defaults for shortcuts and values do nothing.
class AttributeVisitorConstAbstract
{
public:
    virtual void visit(const Entity& entity);
    virtual void visit(const CompositeAttribute& composite);
    virtual void visit(const ArrayAttribute& array);
    virtual void visit(const ListAttribute& list);
    virtual void visit(const LinkAttribute& link);
    virtual void visit(const ShortcutAttribute& shortcut);
    virtual void visit(const ValueAttribute<double>& value);
    virtual void visit(const ValueAttribute<float>& value);
    virtual void visit(const ValueAttribute<std::string>& value);
    virtual void visit(const ValueAttribute<bool>& value);
    virtual void visit(const ValueAttribute<int>& value);
    virtual ~AttributeVisitorConstAbstract();

protected:
    // Virtual, so that a walk can change how it descends (the published layout has them so).
    virtual void visitChildren(const ArrayAttribute& array);
    virtual void visitChildren(const LinkAttribute& link);
    virtual void visitChildren(const ListAttribute& list);
    virtual void visitChildren(const CompositeAttribute& composite);
    virtual void visitChildren(const Entity& entity);
};
} // namespace Conflux::Model
