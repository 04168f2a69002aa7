#include "src/model/builders/AttributeInitializer.h"

#include "host/cabinet/ReferenceValues.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/EntityReading.h"

namespace Conflux::Model
{
using namespace EntityModel;

AttributeInitializer::AttributeInitializer(EntityModel::Entity* root) : m_root(root)
{
    const Entity* solutionControl = EntityFetcher::getSolutionControl(root);
    if (!solutionControl)
        return;
    const auto* variables = dynamic_cast<const CompositeAttribute*>(solutionControl->findAttribute(Variables_t));
    if (!variables)
        return;
    for (const auto& child : variables->children())
    {
        const TypeRef variable = child->getTypeRef();
        if (variable == Contamination_t || variable == Generic_Scalar_t)
            continue;
        const auto* settings = dynamic_cast<const CompositeAttribute*>(child.get());
        // A variable the project does not solve for is hidden; it has no initial value to offer.
        if (!settings || settings->isHidden())
            continue;
        double value = 0.0;
        if (variable.getLabel() == "Temperature" && hasAttributeSetTo(settings, Initial_Value_Option_t, Auto_t))
            value = CabinetConstructor::ReferenceValues::getReferenceTemperature(root);
        else if (const Attribute* initial = settings->findAttribute(Initial_Value_t))
            value = initial->standardVal();
        m_values[variable.getLabel()] = value;
    }
}

std::optional<double> AttributeInitializer::getInitialValue(const std::string& quantityLabel) const
{
    const auto found = m_values.find(quantityLabel);
    if (found == m_values.end())
        return std::nullopt;
    return found->second;
}
} // namespace Conflux::Model
