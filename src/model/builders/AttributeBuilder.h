#pragma once
#include "host/entitymodel/AttributeVisitor.h"
#include "src/model/Attribute.h"

#include <memory>
#include <string>

namespace Conflux::Model
{
class AttributeInitializer;

/// Turns one project attribute into the exchange node that stands for it: the node kind from the
/// attribute's kind and declared exchange type, the access type, the exchange label, the standard
/// unit and the initial value in standard units. It never descends into children: the entity tree
/// builder walks the project and attaches each node itself.
class AttributeBuilder : public EntityModel::AttributeVisitor
{
public:
    /// The node for `attribute` (null for a kind the exchange does not carry). Labels are formed
    /// relative to `entity`; `access` bounds the access type; `initializer` (may be null) gives the
    /// initial values of results; `useReadOnlyRule` consults the exchange read-only rule;
    /// `forceDouble` makes every real value a double. Throws std::logic_error for an entity
    /// ("No entities should be constructed") and for a real value whose declared exchange type is
    /// neither Float nor Double ("Unsupported Conflux Attribute for Double", "... for Curve").
    static std::unique_ptr<Attribute> create(EntityModel::Attribute* attribute, EntityModel::Entity* entity,
                                             AccessType access, AttributeInitializer* initializer,
                                             bool useReadOnlyRule, bool forceDouble);

    /// The access the project's exchange flags give an attribute (None for null).
    static AccessType determineAccessTypeFromAttribute(EntityModel::Attribute* attribute, bool useReadOnlyRule);
    /// The exchange label of an attribute as seen from an entity: the name of its node.
    static std::string attributeType(EntityModel::Attribute* attribute, EntityModel::Entity* entity);
    /// The standard unit of the value's quantity (empty without a unit attribute).
    static std::string retrieveStandardUnit(EntityModel::DoubleAttribute* attribute);
    static std::string retrieveStandardUnit(EntityModel::CurveAttribute* curve);

    bool recurse(const EntityModel::Attribute*) const override { return false; }

private:
    AttributeBuilder(EntityModel::Entity* entity, std::unique_ptr<Attribute>& result, AccessType access,
                     bool useReadOnlyRule, AttributeInitializer* initializer, bool forceDouble);

    void visit(EntityModel::Attribute* attribute) override;
    void visit(EntityModel::CompositeAttribute* composite) override;
    void visit(EntityModel::CountedCompositeAttribute* composite) override;
    void visit(EntityModel::Entity* entity) override;
    void visit(EntityModel::IntAttribute* attribute) override;
    void visit(EntityModel::BoolAttribute* attribute) override;
    void visit(EntityModel::DoubleAttribute* attribute) override;
    void visit(EntityModel::TypeAttribute* attribute) override;
    void visit(EntityModel::CurveAttribute* curve) override;
    void visit(EntityModel::LinkAttribute* link) override;
    void visit(EntityModel::ListAttribute* list) override;
    void visit(EntityModel::ArrayAttribute* array) override;
    void visit(EntityModel::ShortcutAttribute* shortcut) override;

    AccessType accessType(EntityModel::Attribute* attribute) const;
    std::string attributeType(EntityModel::Attribute* attribute) const;
    double retrieveStandardValue(EntityModel::DoubleAttribute* attribute) const;
    double retrieveStandardValue(EntityModel::CurveAttribute* curve) const;
    /// The initial value shared by doubles and curves: the live value, else a value the owner's
    /// settings or the initializer give for the quantity of `unit` (null: no unit). Sets `clamp`
    /// when the value is not the attribute's own and must be kept within its bounds.
    double initialValue(EntityModel::Attribute* attribute, const EntityModel::Attribute* unit, bool& clamp) const;
    /// A real value node of the kind the declared type (or forceDouble) asks for.
    void buildReal(EntityModel::Attribute* attribute, AttributeType type, AccessType access, double value,
                   const std::string& unit);

    EntityModel::Entity* m_entity;
    std::unique_ptr<Attribute>& m_result;
    AccessType m_access;
    bool m_useReadOnlyRule;
    CompositeAttribute* m_parent = nullptr;
    AttributeInitializer* m_initializer;
    bool m_forceDouble;
};
} // namespace Conflux::Model
