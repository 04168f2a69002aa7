#pragma once
#include "src/model/AttributeEx.h"
#include "src/model/ICompositeAttributeImpl.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Conflux::Model
{
class CompositeAttribute;
using CompositeAttributeEx = AttributeEx<CompositeAttribute, AttributeType::Composite,
                                         ICompositeAttributeImpl<TesseraSDK::Model::ICompositeAttribute>, Attribute>;

/// A named group of nodes, which it owns, in the order they were added.
///
/// Lookups take a path relative to this composite; a step into a link, list or array names one
/// of its entities by label (the first of that label). With `checkAccess` set, nodes whose
/// access type is None are treated as absent.
class CompositeAttribute : public CompositeAttributeEx
{
public:
    CompositeAttribute(const std::string& name, AccessType access, CompositeAttribute* parent);
    ~CompositeAttribute() override;

    /// Takes ownership, makes this composite the child's parent and returns the child.
    Attribute* addAttribute(std::unique_ptr<Attribute> child);
    /// Removes and destroys the child (no effect for a node that is not a child).
    void removeAttribute(const Attribute* child);

    /// The node at `path`, or null.
    Attribute* findAttribute(const AttributePath& path, bool checkAccess);
    const Attribute* findAttribute(const AttributePath& path, bool checkAccess) const;
    /// The node at `path`; std::runtime_error naming both paths when there is none.
    Attribute* getAttribute(const AttributePath& path, bool checkAccess);
    const Attribute* getAttribute(const AttributePath& path, bool checkAccess) const;
    bool hasAttribute(const AttributePath& path, bool checkAccess) const;

    std::size_t getAttributeCount() const { return m_children.size(); }
    Attribute* getAttributeAt(std::size_t index) const { return m_children.at(index).get(); }
    const std::vector<std::unique_ptr<Attribute>>& getAttributes() const { return m_children; }

    /// Follows `path` from `start` (a composite, entity, link, list or array); null when a step fails.
    static const Attribute* walk(const Attribute* start, const AttributePath& path, bool checkAccess);

protected:
    template <class, AttributeType, class, class>
    friend class AttributeEx;

    bool equalsContent(const CompositeAttribute& other) const;
    void writeContent(FileSystem::DataOStream& stream) const;
    void readContent(FileSystem::DataIStream& stream);

    /// The same as writeContent/readContent, for Entity which records more fields around them.
    void writeChildren(FileSystem::DataOStream& stream) const;
    void readChildren(FileSystem::DataIStream& stream);
    bool equalChildren(const CompositeAttribute& other) const;

private:
    std::vector<std::unique_ptr<Attribute>> m_children;
    std::map<std::string, Attribute*, std::less<>> m_firstByName;
};
} // namespace Conflux::Model
