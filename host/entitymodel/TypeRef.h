#pragma once
#include <compare>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace EntityModel
{
namespace detail
{
/// Index of each built-in constant; 0 is the empty label.
enum class BuiltinTypeRef : std::uint32_t
{
    Empty = 0,
#define ENTITYMODEL_TYPEREF(Name) Name,
#include "host/entitymodel/TypeRefs.def"
#undef ENTITYMODEL_TYPEREF
    Count
};
} // namespace detail

/// An interned label naming an entity type or an attribute. Copying and comparing are integer
/// operations; equal labels always give equal TypeRefs, whether made from a constant or a text.
/// Ordering follows interning order (the built-in constants first, in list order).
class TypeRef
{
public:
    /// The empty label.
    constexpr TypeRef() = default;
    constexpr TypeRef(detail::BuiltinTypeRef builtin) : id_(static_cast<std::uint32_t>(builtin)) {}
    /// The TypeRef of a label, interning it on first use.
    explicit TypeRef(std::string_view label);

    const std::string& getLabel() const;
    bool empty() const { return id_ == 0; }
    std::uint32_t id() const { return id_; }

    friend constexpr bool operator==(TypeRef, TypeRef) = default;
    friend constexpr auto operator<=>(TypeRef a, TypeRef b) { return a.id_ <=> b.id_; }

private:
    std::uint32_t id_ = 0;
};

/// The declared constants: EntityModel::Conflux_Control_t has the label "Conflux Control".
#define ENTITYMODEL_TYPEREF(Name) inline constexpr TypeRef Name##_t{detail::BuiltinTypeRef::Name};
#include "host/entitymodel/TypeRefs.def"
#undef ENTITYMODEL_TYPEREF

/// The label of a built-in constant's name: underscores read as blanks.
std::string labelFromConstantName(std::string_view name);
} // namespace EntityModel

template <> struct std::hash<EntityModel::TypeRef>
{
    std::size_t operator()(EntityModel::TypeRef t) const noexcept
    {
        return std::hash<std::uint32_t>()(t.id());
    }
};
