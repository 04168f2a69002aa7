#include "host/entitymodel/Checker.h"

#include "host/entitymodel/Calculator.h"

namespace EntityModel
{
Checker::~Checker() = default;
void Checker::clearCachedErrors(Entity*) {}
void Checker::clearCachedErrors() {}
void Checker::setGeometryBuilder(Geometry::GeometryBuilder*) {}
bool Checker::isInstalled() const
{
    return true;
}

Calculator::~Calculator() = default;
void Calculator::calculateDerivedDataFlowNetworkOnly(Geometry::Part*) {}
void Calculator::clearDerivedData() {}
void Calculator::getChangedEntities(ChangeSet&) {}
} // namespace EntityModel
