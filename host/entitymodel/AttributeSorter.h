#pragma once

namespace EntityModel
{
class Attribute;

/// A strict order of attributes that follows the model: by owner entity ID, then by the position
/// of the attribute in the entity's tree (attributes without an owner entity come first, by address).
struct AttributeSorter
{
    bool operator()(const Attribute* a, const Attribute* b) const;
};
} // namespace EntityModel
