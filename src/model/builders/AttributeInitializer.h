#pragma once
#include <map>
#include <optional>
#include <string>

namespace EntityModel
{
class Entity;
}

namespace Conflux::Model
{
/// Initial values of the project's transported variables, in standard units, by the label of
/// their quantity ("Temperature", ...). Result attributes, which the solver has not computed yet,
/// start from these values.
class AttributeInitializer
{
public:
    /// Reads the transported-variable settings under the solution control of the project `root`.
    explicit AttributeInitializer(EntityModel::Entity* root);

    /// The initial value of a quantity, when the project sets one.
    std::optional<double> getInitialValue(const std::string& quantityLabel) const;
    const std::map<std::string, double>& getInitialValues() const { return m_values; }
    EntityModel::Entity* getRootEntity() const { return m_root; }

private:
    std::map<std::string, double> m_values;
    EntityModel::Entity* m_root;
};
} // namespace Conflux::Model
