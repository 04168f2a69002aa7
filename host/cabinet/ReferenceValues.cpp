#include "host/cabinet/ReferenceValues.h"

#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityFetcher.h"

namespace CabinetConstructor
{
double ReferenceValues::getReferenceTemperature(EntityModel::Entity* root)
{
    using namespace EntityModel;
    Entity* solutionControl = EntityFetcher::getSolutionControl(root);
    Attribute* reference =
        solutionControl ? solutionControl->findAttribute(Reference_Temperature_t) : nullptr;
    if (reference && reference->isDoubleAttribute())
        return reference->standardVal();
    return defaultReferenceTemperature;
}
} // namespace CabinetConstructor
