#pragma once

namespace Conflux::Model
{
/// Holds (does not own) one exchange node of class A.
template <class A>
class AttributeContainer
{
public:
    explicit AttributeContainer(A* attribute = nullptr) : m_attribute(attribute) {}
    AttributeContainer(const AttributeContainer&) = default;
    AttributeContainer& operator=(const AttributeContainer&) = default;
    virtual ~AttributeContainer() = default;

    /// The node held (null when none).
    A* get() const { return m_attribute; }

protected:
    A* m_attribute;
};
} // namespace Conflux::Model
