#pragma once
#include "src/model/AttributeContainer.h"
#include "src/model/Entity.h"

namespace Conflux::Model
{
/// A handle on one exchange node, kept by functors: the node and its full path
/// (`getAttributePath(true)`). The path is what a stream record keeps; after reading, `resolve`
/// binds the handle to the node that path names in a model. Two references are equal when their
/// paths are.
template <class A>
class AttributeReference : public AttributeContainer<A>
{
public:
    explicit AttributeReference(A* attribute = nullptr)
        : AttributeContainer<A>(attribute), m_path(attribute ? attribute->getAttributePath(true) : AttributePath())
    {
    }
    /// An unbound reference to the node at `path`.
    explicit AttributeReference(AttributePath path) : AttributeContainer<A>(nullptr), m_path(std::move(path)) {}
    AttributeReference(const AttributeReference&) = default;
    AttributeReference& operator=(const AttributeReference&) = default;
    ~AttributeReference() override = default;

    const AttributePath& path() const { return m_path; }
    bool isResolved() const { return this->m_attribute != nullptr; }

    /// Binds to the node that the path names below `root` (null root or no such node of class A:
    /// unbound). Returns whether it is bound.
    bool resolve(Entity* root)
    {
        Attribute* found = root != nullptr && !m_path.empty() ? root->resolveFullPath(m_path) : nullptr;
        this->m_attribute = dynamic_cast<A*>(found);
        return this->m_attribute != nullptr;
    }

    bool operator==(const AttributeReference& other) const { return m_path == other.m_path; }

private:
    AttributePath m_path;
};
} // namespace Conflux::Model
