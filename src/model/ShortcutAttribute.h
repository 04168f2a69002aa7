#pragma once
#include "src/model/AttributeEx.h"
#include "src/model/IShortcutAttributeImpl.h"

#include <vector>

namespace Conflux::Model
{
class ShortcutAttribute;
using ShortcutAttributeEx = AttributeEx<ShortcutAttribute, AttributeType::Shortcut, IShortcutAttributeImpl, Attribute>;

/// A node standing for other nodes of the model, named by target paths (kept in order, without
/// duplicates).
///
/// A target path is resolved, in this order, relative to the composite holding the shortcut,
/// relative to the nearest entity above it, and as a full path from the root (as
/// `getAttributePath(true)` writes it). A target that is itself a shortcut is followed (at most
/// 16 steps, so cycles end).
///
/// Value rule: value, unit and `hasValue` operations go to the first target that resolves to a
/// node other than a shortcut; with `checkAccess` set the shortcut's own access type is enforced
/// first and the target then enforces its own (and logs the write). When no target resolves,
/// getters and setters throw std::runtime_error "Shortcut '<path>' has no target", `hasValue`
/// and `hasUnits` are false and the unit is empty. `getAttributeType(true)` is the target's kind
/// (Shortcut when none resolves); `getAttributeType(false)` is always Shortcut.
class ShortcutAttribute : public ShortcutAttributeEx
{
public:
    ShortcutAttribute(const std::string& name, AccessType access, CompositeAttribute* parent);
    ~ShortcutAttribute() override;

    /// Records one more target path (a path already recorded is not added twice).
    void addShortcut(const AttributePath& path);
    const std::vector<AttributePath>& getShortcuts() const { return m_targets; }
    /// Drops the target paths that do not resolve in the tree as it now is.
    void cleanupNonExistingShortcuts();

    /// The node a target path names, or null (shortcuts not followed).
    const Attribute* resolve(const AttributePath& path) const;
    /// The first target that resolves, shortcuts followed; null when none does.
    Attribute* getTarget() const;

protected:
    template <class, AttributeType, class, class>
    friend class AttributeEx;

    bool equalsContent(const ShortcutAttribute& other) const;
    void writeContent(FileSystem::DataOStream& stream) const;
    void readContent(FileSystem::DataIStream& stream);

    AttributeType do_GetAttributeType(bool resolveShortcut) const override;
    void do_setIntValue(int value, const std::string& unit, Chronology chronology, bool checkAccess) override;
    void do_setBoolValue(bool value, const std::string& unit, Chronology chronology, bool checkAccess) override;
    void do_setFloatValue(float value, const std::string& unit, Chronology chronology, bool checkAccess) override;
    void do_setDoubleValue(double value, const std::string& unit, Chronology chronology, bool checkAccess) override;
    void do_setStringValue(const std::string& value, const std::string& unit, Chronology chronology,
                           bool checkAccess) override;
    bool do_hasValue(Chronology chronology, bool checkAccess) const override;
    int do_getIntValue(Chronology chronology, bool checkAccess) const override;
    bool do_getBoolValue(Chronology chronology, bool checkAccess) const override;
    float do_getFloatValue(Chronology chronology, bool checkAccess) const override;
    double do_getDoubleValue(Chronology chronology, bool checkAccess) const override;
    std::string do_getStringValue(Chronology chronology, bool checkAccess) override;
    bool do_hasUnits() const override;
    const std::string& do_getUnit() const override;
    void do_setUnit(const std::string& unit) override;

private:
    Attribute& target(bool checkAccess, bool write) const;

    std::vector<AttributePath> m_targets;
};
} // namespace Conflux::Model
