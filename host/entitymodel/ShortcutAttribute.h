#pragma once
#include "host/entitymodel/Attribute.h"

#include <vector>

namespace EntityModel
{
/// An attribute standing for others: target paths relative to the shortcut's parent composite
/// (leading `Owner` steps move one composite up). The first target that exists is the one it follows.
class ShortcutAttribute : public Attribute
{
public:
    explicit ShortcutAttribute(std::shared_ptr<const AttributeDefinition> definition);

    AttributeKind kind() const override { return AttributeKind::Shortcut; }
    void accept(AttributeVisitor& visitor) override;
    const std::vector<AttributePath>& getTargetPaths() const { return getDefinition().targets; }
    /// Points the shortcut (instead of its declared targets) at the attribute at attributePath inside
    /// the entity held by the link at linkPath (relative to the parent composite); resolved on every
    /// read, so a changed or deleted linked entity never leaves a dangling target.
    void setLinkedTarget(AttributePath linkPath, AttributePath attributePath);
    /// Back to the declared targets.
    void clearLinkedTarget();
    /// The first existing target (not followed further), or null. A stale derived shortcut is
    /// recomputed first.
    Attribute* getDirectTarget() const;
    /// The target reached by following shortcuts to a non-shortcut attribute, or null (also for cycles).
    Attribute* getTarget() const;

    // Values are those of the target.
    bool operator==(const TypeRef& value) const override;
    bool boolVal() const override;
    int intVal() const override;
    double standardVal() const override;
    TypeRef typeVal() const override;
    std::string getValue() const override;

private:
    struct LinkedTarget
    {
        AttributePath linkPath;
        AttributePath attributePath;
    };
    std::optional<LinkedTarget> linkedTarget_;
};

/// The attribute at a path relative to a composite, where each leading `Owner` step moves one
/// composite up (from an entity: to the composite holding its link). Null when absent.
Attribute* resolveRelativePath(const CompositeAttribute* from, const AttributePath& path);
} // namespace EntityModel
