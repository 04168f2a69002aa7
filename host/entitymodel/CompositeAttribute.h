#pragma once
#include "host/entitymodel/Attribute.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace EntityModel
{
/// An attribute holding other attributes, in order. Entities are composites.
class CompositeAttribute : public Attribute
{
public:
    explicit CompositeAttribute(std::shared_ptr<const AttributeDefinition> definition);
    /// A composite made in code, with no children yet.
    explicit CompositeAttribute(TypeRef name);
    ~CompositeAttribute() override;

    AttributeKind kind() const override { return AttributeKind::Composite; }
    void accept(AttributeVisitor& visitor) override;
    std::vector<Attribute*> getChildAttributes() const override;

    // Children.
    std::size_t childCount() const { return children_.size(); }
    Attribute* getChild(std::size_t index) const;
    const std::vector<std::unique_ptr<Attribute>>& children() const { return children_; }
    /// Takes ownership and returns the raw pointer; a non-empty name renames the attribute first.
    Attribute* addAttribute(std::unique_ptr<Attribute> attribute, const std::string& name = {});
    /// Makes room for that many children (saves regrowing while a tree is built).
    void reserveChildren(std::size_t count) { children_.reserve(count); }
    /// Detaches a child and hands it back (null when it is not a child).
    std::unique_ptr<Attribute> removeAttribute(Attribute* child);
    void removeAllAttributes();

    // Lookup; absent means null.
    /// The attribute at a path below this composite (through composites; entities owned by links are
    /// not entered). A step that is not a direct child is looked for inside the grouping composites
    /// (headings the schema marks as such), so a path may leave them out: "Inputs/Input Values"
    /// finds "Specification/Inputs/Input Values". A step that matches two attributes that way throws
    /// std::runtime_error naming both, rather than picking one.
    Attribute* findAttribute(const AttributePath& path) const;
    /// The first child of that name; with recursive, searched depth-first through composites.
    Attribute* findAttribute(TypeRef name, bool recursive = false) const;
    /// The attribute at a dotted label path ("Bounds.Has Min").
    Attribute* findAttribute(const std::string& dottedPath) const;
    Attribute* findAttribute(const char* dottedPath) const;
    CompositeAttribute* findComposite(const AttributePath& path) const;

    /// Appends owned child entities (entities held by owning links below this composite, depth-first,
    /// in order) that pass the filter. recursive: descend into owned entities; includeHidden: also
    /// walk links that are hidden; filter: null accepts every entity; descendIntoRejected: descend
    /// into entities the filter rejected too.
    void getOwnedChildEntities(std::vector<Entity*>& entities, bool recursive = true,
                               bool includeHidden = true, const std::function<bool(Entity*)>& filter = {},
                               bool descendIntoRejected = true) const;
    /// Every owned child entity (recursively) of a type, in walk order.
    std::vector<Entity*> getOwnedChildEntitiesOfType(TypeRef type, bool recursive = true) const;

private:
    /// Whether the schema marks this composite as a heading that paths may leave out.
    bool isGrouping() const;
    /// The one attribute named by path[step] inside the grouping composites below this one.
    Attribute* findInGroupings(const AttributePath& path, std::size_t step) const;

    std::vector<std::unique_ptr<Attribute>> children_;
};

/// A composite whose children are numbered items made from one item definition ("Input 1",
/// "Input 2", ...). Its integer value is the item count; changing it creates or deletes items at the end.
class CountedCompositeAttribute : public CompositeAttribute
{
public:
    /// The most items a counted composite holds; larger counts are refused (texts) or clamped.
    static constexpr int maxCount = 100000;

    explicit CountedCompositeAttribute(std::shared_ptr<const AttributeDefinition> definition);

    AttributeKind kind() const override { return AttributeKind::CountedComposite; }
    void accept(AttributeVisitor& visitor) override;

    int intVal() const override { return static_cast<int>(childCount()); }
    double standardVal() const override { return static_cast<double>(childCount()); }
    std::string getValue() const override { return std::to_string(childCount()); }
    /// Reads a count from 0 to maxCount; other texts are refused.
    bool setValueFromString(const std::string& text) override;
    /// Grows (new items from the item definition) or shrinks (last items deleted) to count items.
    void setCount(int count);
    /// Item n (0-based), or null.
    CompositeAttribute* getItem(std::size_t index) const;
    /// The TypeRef of item n (0-based): the item label followed by a blank and n + 1.
    TypeRef itemName(std::size_t index) const;
};
} // namespace EntityModel
