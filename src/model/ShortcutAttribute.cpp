#include "src/model/ShortcutAttribute.h"

#include "src/model/AccessException.h"
#include "src/model/CompositeAttribute.h"
#include "src/model/Entity.h"

#include <algorithm>
#include <stdexcept>

namespace Conflux::Model
{
namespace
{
constexpr int maxShortcutChain = 16;

Attribute* firstTarget(const ShortcutAttribute& shortcut, int depth)
{
    if (depth > maxShortcutChain)
        return nullptr;
    for (const AttributePath& path : shortcut.getShortcuts())
    {
        const Attribute* node = shortcut.resolve(path);
        if (node == nullptr)
            continue;
        if (const auto* next = dynamic_cast<const ShortcutAttribute*>(node))
        {
            if (Attribute* found = firstTarget(*next, depth + 1))
                return found;
            continue;
        }
        return const_cast<Attribute*>(node);
    }
    return nullptr;
}
} // namespace

ShortcutAttribute::ShortcutAttribute(const std::string& name, AccessType access, CompositeAttribute* parent)
    : ShortcutAttributeEx(name, access, parent)
{
}

ShortcutAttribute::~ShortcutAttribute() = default;

void ShortcutAttribute::addShortcut(const AttributePath& path)
{
    if (std::find(m_targets.begin(), m_targets.end(), path) == m_targets.end())
        m_targets.push_back(path);
}

void ShortcutAttribute::cleanupNonExistingShortcuts()
{
    std::erase_if(m_targets, [this](const AttributePath& path) { return resolve(path) == nullptr; });
}

const Attribute* ShortcutAttribute::resolve(const AttributePath& path) const
{
    if (path.empty())
        return nullptr;
    auto usable = [this](const Attribute* node) { return node != nullptr && node != this; };
    if (const CompositeAttribute* parent = getParent())
        if (const Attribute* node = CompositeAttribute::walk(parent, path, false); usable(node))
            return node;
    if (const Entity* entity = getParentEntity())
        if (const Attribute* node = CompositeAttribute::walk(entity, path, false); usable(node))
            return node;
    const Attribute* root = getRoot();
    if (root != this && path.front() == root->getName())
        if (const Attribute* node = CompositeAttribute::walk(root, path.subPath(1), false); usable(node))
            return node;
    return nullptr;
}

Attribute* ShortcutAttribute::getTarget() const { return firstTarget(*this, 0); }

Attribute& ShortcutAttribute::target(bool checkAccess, bool write) const
{
    if (checkAccess && write && !TesseraSDK::canWrite(getAccessType()))
        throw AccessException("User has no write access");
    if (checkAccess && !write && !TesseraSDK::canRead(getAccessType()))
        throw AccessException("User has no read access");
    Attribute* node = getTarget();
    if (node == nullptr)
        throw std::runtime_error("Shortcut '" + getAttributePath(true).toString() + "' has no target");
    return *node;
}

AttributeType ShortcutAttribute::do_GetAttributeType(bool resolveShortcut) const
{
    if (resolveShortcut)
        if (const Attribute* node = getTarget())
            return node->getAttributeType(true);
    return AttributeType::Shortcut;
}

void ShortcutAttribute::do_setIntValue(int value, const std::string& unit, Chronology chronology, bool checkAccess)
{
    target(checkAccess, true).setIntValue(value, unit, chronology, checkAccess);
}

void ShortcutAttribute::do_setBoolValue(bool value, const std::string& unit, Chronology chronology, bool checkAccess)
{
    target(checkAccess, true).setBoolValue(value, unit, chronology, checkAccess);
}

void ShortcutAttribute::do_setFloatValue(float value, const std::string& unit, Chronology chronology,
                                         bool checkAccess)
{
    target(checkAccess, true).setFloatValue(value, unit, chronology, checkAccess);
}

void ShortcutAttribute::do_setDoubleValue(double value, const std::string& unit, Chronology chronology,
                                          bool checkAccess)
{
    target(checkAccess, true).setDoubleValue(value, unit, chronology, checkAccess);
}

void ShortcutAttribute::do_setStringValue(const std::string& value, const std::string& unit, Chronology chronology,
                                          bool checkAccess)
{
    target(checkAccess, true).setStringValue(value, unit, chronology, checkAccess);
}

bool ShortcutAttribute::do_hasValue(Chronology chronology, bool) const
{
    const Attribute* node = getTarget();
    return node != nullptr && node->hasValue(chronology);
}

int ShortcutAttribute::do_getIntValue(Chronology chronology, bool checkAccess) const
{
    return target(checkAccess, false).getIntValue(chronology, checkAccess);
}

bool ShortcutAttribute::do_getBoolValue(Chronology chronology, bool checkAccess) const
{
    return target(checkAccess, false).getBoolValue(chronology, checkAccess);
}

float ShortcutAttribute::do_getFloatValue(Chronology chronology, bool checkAccess) const
{
    return target(checkAccess, false).getFloatValue(chronology, checkAccess);
}

double ShortcutAttribute::do_getDoubleValue(Chronology chronology, bool checkAccess) const
{
    return target(checkAccess, false).getDoubleValue(chronology, checkAccess);
}

std::string ShortcutAttribute::do_getStringValue(Chronology chronology, bool checkAccess)
{
    return target(checkAccess, false).getStringValue(chronology, checkAccess);
}

bool ShortcutAttribute::do_hasUnits() const
{
    const Attribute* node = getTarget();
    return node != nullptr && node->hasUnits();
}

const std::string& ShortcutAttribute::do_getUnit() const
{
    static const std::string none;
    const Attribute* node = getTarget();
    return node != nullptr ? node->getUnit() : none;
}

void ShortcutAttribute::do_setUnit(const std::string& unit) { target(false, true).setUnit(unit); }

bool ShortcutAttribute::equalsContent(const ShortcutAttribute& other) const { return m_targets == other.m_targets; }

void ShortcutAttribute::writeContent(FileSystem::DataOStream& stream) const
{
    stream.field("Shortcuts", static_cast<std::uint64_t>(m_targets.size()));
    for (const AttributePath& path : m_targets)
    {
        stream.field("Target", static_cast<std::uint64_t>(path.size()));
        for (const std::string& name : path)
            stream << name;
    }
}

void ShortcutAttribute::readContent(FileSystem::DataIStream& stream)
{
    m_targets.clear();
    std::uint64_t count = 0;
    stream.field("Shortcuts", count);
    if (!stream.checkCount(count, 8))
        return;
    for (std::uint64_t i = 0; i < count && stream.good(); ++i)
    {
        std::uint64_t size = 0;
        stream.field("Target", size);
        if (!stream.checkCount(size, 8))
            return;
        std::vector<std::string> names;
        for (std::uint64_t n = 0; n < size && stream.good(); ++n)
            names.push_back(stream.read<std::string>());
        if (stream.good())
            m_targets.emplace_back(std::move(names));
    }
}
} // namespace Conflux::Model
