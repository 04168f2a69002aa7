#pragma once
#include "src/model/sdk/Types.h"

#include <map>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

namespace Conflux::Model
{
class Attribute;
class Entity;
class EntityCollection;
} // namespace Conflux::Model

namespace CFDSolver
{
/// One value of the exchange model as controllers and the solver trade it.
using ExchangeScalar = std::variant<bool, int, double, std::string>;

/// The value nodes of an exchange model, each under the path controllers use for it: the names of
/// the entities from below the project down to its entity, then its path inside that entity, "."
/// between names ("Data Hall 1.CRAH 1.Supply Temperature"). Where two values would share that
/// path both go by their full path from the root instead; a full path always finds its value too.
///
/// Values are read and written at the solve's current chronology (0).
class ExchangeValues
{
public:
    struct Value
    {
        Conflux::Model::Attribute* attribute;
        std::string path;
    };

    static constexpr TesseraSDK::Chronology chronology = 0;

    explicit ExchangeValues(const Conflux::Model::EntityCollection& model);

    /// The model's (first) root entity; null for an empty model.
    Conflux::Model::Entity* root() const { return m_root; }
    /// Every value node, in the order of the tree.
    const std::vector<Value>& values() const { return m_values; }
    /// The value at a path (short or full); null when there is none.
    const Value* find(const std::string& path) const;
    /// The entry of a node; null when it is not a value of this model.
    const Value* find(const Conflux::Model::Attribute* attribute) const;

    /// The value of a node; with `checkAccess` a node the controllers may not read throws
    /// Conflux::Model::AccessException. A node that holds nothing yet reads as 0, false or "".
    static ExchangeScalar read(const Conflux::Model::Attribute& attribute, bool checkAccess);
    /// Stores a value of the node's own kind (a whole number is taken for a floating-point node);
    /// throws std::runtime_error saying why when the kind does not fit, and what the model throws
    /// for access and units.
    static void write(Conflux::Model::Attribute& attribute, const ExchangeScalar& value, bool checkAccess);
    /// Why `value` does not fit the node's kind ("a text is not a number"); empty when it fits.
    static std::string kindMismatch(const Conflux::Model::Attribute& attribute, const ExchangeScalar& value);
    /// The value as text: numbers so that they read back exactly, booleans as true/false.
    static std::string toText(const ExchangeScalar& value);

private:
    Conflux::Model::Entity* m_root = nullptr;
    std::vector<Value> m_values;
    std::unordered_map<std::string, std::size_t> m_byPath;
    std::unordered_map<const Conflux::Model::Attribute*, std::size_t> m_byAttribute;
};
} // namespace CFDSolver
