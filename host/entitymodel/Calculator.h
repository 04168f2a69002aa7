#pragma once
#include "host/entitymodel/ChangeSet.h"
#include "host/entitymodel/GeometryPart.h"

#include <memory>
#include <string>

namespace EntityModel
{
/// A derived-data pass run by the framework after edits.
class Calculator
{
public:
    explicit Calculator(std::string name) : name_(std::move(name)) {}
    virtual ~Calculator();
    const std::string& getName() const { return name_; }

    virtual void calculateDerivedData(Geometry::Part* part) = 0;
    virtual void calculateDerivedDataFlowNetworkOnly(Geometry::Part* part);
    virtual void clearDerivedData();
    /// Reports the entities the last run created, deleted or modified.
    virtual void getChangedEntities(ChangeSet& changes);

private:
    std::string name_;
};

/// Registers a calculator with the derived-data pass for its lifetime (a static object of a library
/// registers at load time and unregisters at unload).
class CalculatorRegistar
{
public:
    explicit CalculatorRegistar(std::unique_ptr<Calculator> calculator);
    ~CalculatorRegistar();
    CalculatorRegistar(const CalculatorRegistar&) = delete;
    CalculatorRegistar& operator=(const CalculatorRegistar&) = delete;
    Calculator* get() const { return calculator_.get(); }

private:
    std::unique_ptr<Calculator> calculator_;
};
} // namespace EntityModel
