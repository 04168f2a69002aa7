#pragma once
#include "host/entitymodel/AttributePath.h"
#include "host/entitymodel/TypeRef.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace EntityModel
{
/// The classes an attribute can be made of; one per attribute class of the model.
enum class AttributeKind
{
    Composite,
    CountedComposite,
    Int,
    Bool,
    Double,
    Type,
    String,
    Filename,
    ByteArray,
    Curve,
    UnitType,
    Link,
    List,
    Array,
    Shortcut,
};

/// The schema name of a kind ("double", "counted", ...) and back; nullopt for an unknown name.
std::string kindName(AttributeKind kind);
std::optional<AttributeKind> kindFromName(const std::string& name);

/// One test of a rule: the attribute at `path` has (or, negated, has not) one of `values` as its
/// text value. The path is relative to the composite holding the ruled attribute; each leading
/// `Owner` step moves one composite up. A missing attribute has no value (so "in" fails).
struct RuleCondition
{
    AttributePath path;
    std::vector<std::string> values;
    bool negate = false;
};

/// A rule holds when all its conditions hold (an empty rule never holds).
struct RuleDefinition
{
    std::vector<RuleCondition> conditions;
    /// Readable form, e.g. "Owner.Cooling.Modelling Level in [AI Model]".
    std::string toString() const;
};

/// Exchange flags of an attribute or entity type.
struct ExchangeDefinition
{
    bool flagged = false;     ///< visible to the exchange (isConflux)
    std::string label;        ///< exchange label; empty: the attribute's label
    std::string declaredType; ///< declared exchange type text, e.g. "Double", "Float"
    bool hidden = false;      ///< hidden from the exchange (a hidden composite hides its children)
    bool readOnly = false;    ///< read-only for the exchange
    std::optional<RuleDefinition> readOnlyRule; ///< exchange read-only rule; outcome true = read-only
    std::vector<AttributePath> shortcuts;       ///< shortcut paths, relative to the attribute's parent
    TypeRef redirect;                           ///< sibling attribute that stands for this one; empty: none
    bool hideHeader = false;                    ///< composite without a node of its own in the exchange
};

/// Definition of one attribute (and, for composites, of its children).
struct AttributeDefinition
{
    AttributeKind kind = AttributeKind::String;
    TypeRef name; ///< the attribute's TypeRef inside its parent
    std::string
        defaultValue; ///< text form: "true", "3", "20.5" (standard units), a type label, a unit label, ...
    bool readOnly = false;
    bool hidden = false;
    std::optional<RuleDefinition> hiddenRule;
    std::optional<RuleDefinition> readOnlyRule;
    std::string derivedFunction; ///< name in DerivedFunctions; empty: a plain stored value
    ExchangeDefinition exchange;

    // Doubles and curves.
    TypeRef quantity; ///< Double: quantity of the value (Temperature_t, Power_t, ...); Curve: of y; UnitType:
                      ///< its quantity
    std::string unit; ///< unit shown and stored for the unit attribute; empty: the quantity's standard unit
    TypeRef xQuantity;         ///< Curve: quantity of x
    std::string xUnit;         ///< Curve: unit of x
    std::optional<double> min; ///< lower bound in standard units
    std::optional<double> max; ///< upper bound in standard units

    // Type attributes.
    std::vector<TypeRef> candidates; ///< allowed values; empty: any label

    // Links, lists and arrays.
    std::vector<TypeRef> linkedTypes; ///< entity types that may be linked; empty: any
    bool owning = false;              ///< the link owns its entities (they are its children)
    bool linkFlag = false;            ///< the link's boolean flag, passed to the exchange as is
    int arraySize = 0;                ///< Array: number of slots

    // Shortcuts.
    std::vector<AttributePath> targets; ///< target paths, relative to the shortcut's parent

    // Composites and counted composites.
    std::vector<AttributeDefinition> children;
    /// Composite: a heading that paths may leave out ("Inputs/Input Values" for
    /// "Specification/Inputs/Input Values").
    bool grouping = false;
    /// Counted composite: definition of each item (its name is the item label; item n is "label n").
    std::shared_ptr<AttributeDefinition> item;

    /// The child definition of that name, or null.
    const AttributeDefinition* findChild(TypeRef childName) const;
};

/// Definition of one entity type: its attributes in order.
struct EntityDefinition
{
    TypeRef type;
    std::vector<AttributeDefinition> attributes;
    ExchangeDefinition exchange; ///< exchange label of the entity; flags are not used for entities
    std::string description;
};

/// The entity types the model knows. `Schema::instance()` is the one loaded from the built-in
/// schema files (SchemaLoader fills it); tests may add definitions of their own.
class Schema
{
public:
    static Schema& instance();

    /// Adds or replaces the definition of its type.
    void add(EntityDefinition definition);
    /// The definition of a type, or null.
    const EntityDefinition* find(TypeRef type) const;
    /// The definition of a type; throws std::runtime_error "Unknown entity type 'X'" when absent.
    const EntityDefinition& get(TypeRef type) const;
    const std::map<TypeRef, std::shared_ptr<const EntityDefinition>>& definitions() const
    {
        return definitions_;
    }
    bool empty() const { return definitions_.empty(); }
    void clear() { definitions_.clear(); }

    /// The shared definition (entities keep it alive), or null.
    std::shared_ptr<const EntityDefinition> share(TypeRef type) const;

private:
    std::map<TypeRef, std::shared_ptr<const EntityDefinition>> definitions_;
};
} // namespace EntityModel
