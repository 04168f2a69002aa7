#pragma once
#include "host/entitymodel/TypeRef.h"

#include <compare>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace EntityModel
{
/// A path of TypeRefs from a composite down to one of its descendants. Built with `/`
/// (`Conflux_Control_t / Mode_t`) or from a dotted label text ("Bounds.Min"); a text element
/// ("Force Double Attributes") is the same TypeRef as its label.
class AttributePath
{
public:
    AttributePath() = default;
    AttributePath(TypeRef element);
    AttributePath(detail::BuiltinTypeRef element) : AttributePath(TypeRef(element)) {}
    /// A dotted label text; empty parts are skipped, so "" is the empty path.
    AttributePath(const char* dotted);
    AttributePath(const std::string& dotted);
    AttributePath(std::string_view dotted, char separator);
    AttributePath(std::initializer_list<TypeRef> elements);
    explicit AttributePath(std::vector<TypeRef> elements);

    std::size_t size() const { return elements_.size(); }
    bool empty() const { return elements_.empty(); }
    TypeRef front() const;
    TypeRef back() const;
    TypeRef operator[](std::size_t i) const { return elements_[i]; }
    const std::vector<TypeRef>& elements() const { return elements_; }
    auto begin() const { return elements_.begin(); }
    auto end() const { return elements_.end(); }

    /// The labels joined by the separator.
    std::string toString(char separator = '.') const;
    bool startsWith(const AttributePath& prefix) const;
    /// True when one of the elements is the given TypeRef.
    bool contains(TypeRef element) const;
    /// True when the other path occurs as a contiguous run of elements.
    bool contains(const AttributePath& part) const;

    /// The path without its first n elements.
    AttributePath withoutFront(std::size_t n = 1) const;
    /// The path without its last element.
    AttributePath parent() const;
    AttributePath& append(TypeRef element);
    AttributePath& append(const AttributePath& tail);

    friend bool operator==(const AttributePath&, const AttributePath&) = default;
    friend std::strong_ordering operator<=>(const AttributePath& a, const AttributePath& b);

private:
    std::vector<TypeRef> elements_;
};

AttributePath operator/(const AttributePath& head, const AttributePath& tail);
} // namespace EntityModel

template <> struct std::hash<EntityModel::AttributePath>
{
    std::size_t operator()(const EntityModel::AttributePath& p) const noexcept
    {
        std::size_t h = 0;
        for (auto t : p)
            h = h * 1000003u ^ std::hash<EntityModel::TypeRef>()(t);
        return h;
    }
};
