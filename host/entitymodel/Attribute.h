#pragma once
#include "host/entitymodel/AttributePath.h"
#include "host/entitymodel/Schema.h"
#include "host/entitymodel/TypeRef.h"
#include "host/filesystem/ByteArray.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace EntityModel
{
class AttributeVisitor;
class CompositeAttribute;
class Entity;
class Rule;

/// The type of an attribute or entity as the model names it.
class Type
{
public:
    Type() = default;
    explicit Type(TypeRef ref) : ref_(ref) {}
    const std::string& getLabel() const { return ref_.getLabel(); }
    TypeRef getTypeRef() const { return ref_; }
    bool operator==(const Type&) const = default;

private:
    TypeRef ref_;
};

/// The linked types of a link attribute.
class TypeListRef
{
public:
    TypeListRef() = default;
    explicit TypeListRef(std::vector<TypeRef> types) : types_(std::move(types)) {}
    const std::vector<TypeRef>& getTypes() const { return types_; }
    bool empty() const { return types_.empty(); }
    /// The first linked type (the empty type when there is none).
    Type getType() const { return types_.empty() ? Type() : Type(types_.front()); }
    const std::string& getLabel() const { return getType().getLabel(); }
    bool contains(TypeRef t) const;

private:
    std::vector<TypeRef> types_;
};

/// A reference to a text owned by the model.
class StringRef
{
public:
    explicit StringRef(const std::string& text) : text_(&text) {}
    const std::string& get() const { return *text_; }
    bool empty() const { return text_->empty(); }

private:
    const std::string* text_;
};

/// An attribute of the entity model: a node of an entity's tree, with a name (its TypeRef), a
/// definition (kind, default, flags, rules), validity flags and a value that the subclasses hold.
/// Values of the base class's generic accessors are neutral (false, 0, empty) for kinds without one.
class Attribute
{
public:
    explicit Attribute(std::shared_ptr<const AttributeDefinition> definition);
    virtual ~Attribute();
    Attribute(const Attribute&) = delete;
    Attribute& operator=(const Attribute&) = delete;

    // Identity and place.
    virtual AttributeKind kind() const = 0;
    /// The attribute's type: its definition's name; for a unit-type attribute its quantity.
    virtual Type getType() const;
    /// The attribute's name inside its parent (for an entity: its entity type; for an item of a
    /// counted composite: "<item label> n").
    virtual TypeRef getTypeRef() const { return name_; }
    const AttributeDefinition& getDefinition() const { return *definition_; }
    /// The composite holding this attribute; for an entity the composite holding its owner link.
    CompositeAttribute* getParent() const { return parent_; }
    /// The nearest entity above this attribute (for an entity: the entity owning its link), or null.
    Entity* getOwnerEntity() const;
    /// Names from the owner entity down to this attribute (empty for an entity).
    AttributePath getAttributePath() const;
    /// The owner entity's name followed by getAttributePath() (for an entity: its own name).
    AttributePath getEntityAndAttributePath() const;
    /// The label shown for the attribute.
    virtual std::string getDisplayName() const;

    // Kind tests.
    virtual bool isEntity() const { return false; }
    bool isCompositeAttribute() const;
    bool isCountedCompositeAttribute() const { return kind() == AttributeKind::CountedComposite; }
    bool isIntegerAttribute() const { return kind() == AttributeKind::Int; }
    bool isBoolAttribute() const { return kind() == AttributeKind::Bool; }
    bool isDoubleAttribute() const { return kind() == AttributeKind::Double; }
    bool isTypeAttribute() const { return kind() == AttributeKind::Type; }
    /// True for string and file name attributes.
    bool isStringAttribute() const;
    bool isFilenameAttribute() const { return kind() == AttributeKind::Filename; }
    bool isByteArrayAttribute() const { return kind() == AttributeKind::ByteArray; }
    bool isCurveAttribute() const { return kind() == AttributeKind::Curve; }
    bool isUnitTypeAttribute() const { return kind() == AttributeKind::UnitType; }
    /// True for link, list and array attributes.
    bool isLinkAttribute() const;
    bool isListAttribute() const { return kind() == AttributeKind::List; }
    bool isArrayAttribute() const { return kind() == AttributeKind::Array; }
    bool isShortcutAttribute() const { return kind() == AttributeKind::Shortcut; }

    // Generic value access; derived attributes are recomputed first when stale.
    /// True for a type attribute whose value is the given TypeRef.
    virtual bool operator==(const TypeRef& value) const;
    virtual bool boolVal() const { return false; }
    virtual int intVal() const { return 0; }
    /// The value in standard units.
    virtual double standardVal() const { return 0.0; }
    virtual TypeRef typeVal() const { return {}; }
    /// The value as text (the form edits pass to extenders and project files store).
    virtual std::string getValue() const { return {}; }
    /// The value as bytes; by default the bytes of getValue().
    virtual Utilities::bytearray byteArrayVal() const;
    /// Sets the value from its text form; false (value unchanged) when the text does not fit.
    /// Edits of the project go through EntityEditor, which calls this.
    virtual bool setValueFromString(const std::string& text);
    /// The live-value predicate: the attribute holds a current value (it is valid).
    virtual bool hasLiveValue() const { return isValid(); }
    /// Bounds in standard units, when the attribute has them.
    virtual std::optional<double> getMinimum() const { return std::nullopt; }
    virtual std::optional<double> getMaximum() const { return std::nullopt; }

    // Flags and rules.
    /// Hidden by definition or by its hidden rule.
    bool isHidden() const;
    /// Read-only by definition, by its read-only rule or by setReadOnly(true).
    bool isReadOnly() const;
    void setReadOnly(bool readOnly) { readOnlyOverride_ = readOnly; }
    bool isValid() const { return valid_; }
    /// Sets the valid flag (use EntityEditor::setValid for project edits).
    void setValidFlag(bool valid) { valid_ = valid; }
    /// Marks the attribute (and with recursive its descendants) not valid.
    void invalidate(bool recursive);

    // Derived attributes.
    bool isDerived() const { return !definition_->derivedFunction.empty(); }
    bool isDerivedStale() const { return derivedStale_; }
    /// Marks a derived attribute (and with recursive every derived descendant) for recomputation.
    void invalidateDerived(bool recursive);
    /// Recomputes a stale derived attribute now.
    void ensureComputed() const;

    // Exchange flags.
    bool isConflux() const { return definition_->exchange.flagged; }
    /// The exchange label: the declared one, else the attribute's label (entities: their type label).
    virtual std::string getConfluxLabel(const Entity* relativeTo) const;
    /// The declared exchange type text ("Double", "Float", ...), empty when none.
    StringRef getConfluxAttributeType() const { return StringRef(definition_->exchange.declaredType); }
    bool isConfluxHidden() const { return definition_->exchange.hidden; }
    /// True when this attribute or a composite above it (up to its owner entity, or relativeTo when
    /// given) is hidden from the exchange.
    bool isConfluxHiddenOrInHiddenComposite(const Entity* relativeTo) const;
    bool isConfluxReadOnly() const { return definition_->exchange.readOnly; }
    /// The exchange read-only rule, or null; with evaluate its outcome is brought up to date first.
    const Rule* getConfluxReadOnlyRule(bool evaluate) const;
    /// Shortcut paths declared for the exchange, relative to this attribute's parent.
    const std::vector<AttributePath>& getConfluxShortcuts() const { return definition_->exchange.shortcuts; }
    /// The attribute that stands for this one in the exchange (empty label when none).
    TypeRef getConfluxAttribute() const { return definition_->exchange.redirect; }
    bool shouldHideHeader() const { return definition_->exchange.hideHeader; }

    // Walks.
    /// Calls the matching visit, then, when visitor.recurse(this) is true, walks the children.
    virtual void accept(AttributeVisitor& visitor) = 0;
    /// The children a walk descends into (composite children; entities owned by a link).
    virtual std::vector<Attribute*> getChildAttributes() const { return {}; }

    /// Gives this attribute its own copy of its definition to change (used for attributes made in code).
    AttributeDefinition& editableDefinition();
    /// Renames the attribute's type and name.
    void resetType(const std::string& label);

protected:
    void acceptChildren(AttributeVisitor& visitor);
    void setName(TypeRef name) { name_ = name; }
    /// Bumps the model-wide edit generation after a change of value.
    static void valueChanged();

private:
    friend class CompositeAttribute;
    friend class LinkAttribute;
    friend class Entity;
    friend class CountedCompositeAttribute;

    struct RuleCache;
    /// The rule cache, made on first use (callers hold the cache lock).
    RuleCache& ruleCache() const;

    // Projects hold millions of attributes: what few of them use (rule outcomes) is kept aside, and
    // the small members come last, so that a subclass's value fills the space after them.
    std::shared_ptr<const AttributeDefinition> definition_;
    CompositeAttribute* parent_ = nullptr;
    mutable std::unique_ptr<RuleCache> ruleCache_; ///< made when a rule is first evaluated
    TypeRef name_;
    bool valid_ = true;
    mutable bool derivedStale_ = false;
    mutable bool computing_ = false;
    bool ownsDefinition_ = false; ///< definition_ is this attribute's own copy (editableDefinition)
    std::optional<bool> readOnlyOverride_;
};

/// The model-wide edit generation: rule outcomes cached before a change are recomputed after it.
std::uint64_t attributeCacheGeneration();
/// Starts a new generation (EntityEditor::clearAttributeCaches and every edit call it).
void clearAttributeCacheGeneration();
} // namespace EntityModel
