#include "src/model/CompositeAttribute.h"

#include "src/model/Entity.h"
#include "src/model/EntityLinkAttributeBase.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace Conflux::Model
{
namespace
{
// Records nest as the tree does; a corrupt stream must not nest deep enough to exhaust the stack.
constexpr int maxReadDepth = 200;
thread_local int readDepth = 0;

struct DepthGuard
{
    DepthGuard() { ++readDepth; }
    ~DepthGuard() { --readDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

} // namespace

CompositeAttribute::CompositeAttribute(const std::string& name, AccessType access, CompositeAttribute* parent)
    : CompositeAttributeEx(name, access, parent)
{
}

CompositeAttribute::~CompositeAttribute() = default;

Attribute* CompositeAttribute::addAttribute(std::unique_ptr<Attribute> child)
{
    if (!child)
        return nullptr;
    child->setParent(this);
    Attribute* added = child.get();
    m_children.push_back(std::move(child));
    m_firstByName.try_emplace(added->getName(), added);
    return added;
}

void CompositeAttribute::removeAttribute(const Attribute* child)
{
    auto it = std::find_if(m_children.begin(), m_children.end(), [child](const auto& c) { return c.get() == child; });
    if (it == m_children.end())
        return;
    const std::string name = (*it)->getName();
    m_children.erase(it);
    m_firstByName.erase(name);
    for (const auto& c : m_children)
        if (c->getName() == name)
        {
            m_firstByName.emplace(name, c.get());
            break;
        }
}

const Attribute* CompositeAttribute::walk(const Attribute* start, const AttributePath& path, bool checkAccess)
{
    const Attribute* node = start;
    for (const std::string& name : path)
    {
        if (node == nullptr)
            return nullptr;
        const auto* composite = dynamic_cast<const CompositeAttribute*>(node);
        if (composite != nullptr)
        {
            auto it = composite->m_firstByName.find(name);
            node = it == composite->m_firstByName.end() ? nullptr : it->second;
        }
        else if (const auto* link = dynamic_cast<const EntityLinkAttributeBase*>(node))
            node = link->findEntity(name);
        else
            node = nullptr;
        if (node != nullptr && checkAccess && node->getAccessType() == AccessType::None)
            return nullptr;
    }
    return node;
}

Attribute* CompositeAttribute::findAttribute(const AttributePath& path, bool checkAccess)
{
    return const_cast<Attribute*>(walk(this, path, checkAccess));
}

const Attribute* CompositeAttribute::findAttribute(const AttributePath& path, bool checkAccess) const
{
    return walk(this, path, checkAccess);
}

Attribute* CompositeAttribute::getAttribute(const AttributePath& path, bool checkAccess)
{
    return const_cast<Attribute*>(std::as_const(*this).getAttribute(path, checkAccess));
}

const Attribute* CompositeAttribute::getAttribute(const AttributePath& path, bool checkAccess) const
{
    const Attribute* found = walk(this, path, checkAccess);
    if (found == nullptr)
        throw std::runtime_error("Attribute '" + path.toString() + "' not found in '" +
                                 getAttributePath(true).toString() + "'");
    return found;
}

bool CompositeAttribute::hasAttribute(const AttributePath& path, bool checkAccess) const
{
    return walk(this, path, checkAccess) != nullptr;
}

bool CompositeAttribute::equalChildren(const CompositeAttribute& other) const
{
    if (m_children.size() != other.m_children.size())
        return false;
    for (std::size_t i = 0; i < m_children.size(); ++i)
        if (!m_children[i]->equals(*other.m_children[i]))
            return false;
    return true;
}

void CompositeAttribute::writeChildren(FileSystem::DataOStream& stream) const
{
    stream.field("Attributes", static_cast<std::uint64_t>(m_children.size()));
    for (const auto& child : m_children)
    {
        if (stream.fail())
            return;
        stream.field("Type", static_cast<std::int32_t>(child->getAttributeType(false)));
        child->write(stream);
    }
}

void CompositeAttribute::readChildren(FileSystem::DataIStream& stream)
{
    m_children.clear();
    m_firstByName.clear();
    DepthGuard guard;
    if (readDepth > maxReadDepth)
    {
        stream.setFailed("Attribute '" + getName() + "': records nested too deep");
        return;
    }
    std::uint64_t count = 0;
    stream.field("Attributes", count);
    // Every child record takes at least its type and its two section tags.
    if (!stream.checkCount(count, 12))
        return;
    for (std::uint64_t i = 0; i < count && stream.good(); ++i)
    {
        std::int32_t type = 0;
        stream.field("Type", type);
        if (stream.fail())
            return;
        std::unique_ptr<Attribute> child = Attribute::createEmpty(static_cast<AttributeType>(type));
        if (!child)
        {
            stream.setFailed("Attribute '" + getName() + "': unknown attribute type " + std::to_string(type));
            return;
        }
        child->read(stream);
        if (stream.good())
            addAttribute(std::move(child));
    }
}

bool CompositeAttribute::equalsContent(const CompositeAttribute& other) const { return equalChildren(other); }
void CompositeAttribute::writeContent(FileSystem::DataOStream& stream) const { writeChildren(stream); }
void CompositeAttribute::readContent(FileSystem::DataIStream& stream) { readChildren(stream); }
} // namespace Conflux::Model
