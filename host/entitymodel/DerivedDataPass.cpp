#include "host/entitymodel/DerivedDataPass.h"

#include "host/entitymodel/Calculator.h"
#include "host/entitymodel/EditTransaction.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/GeometryPart.h"

#include <algorithm>
#include <mutex>

namespace EntityModel
{
namespace
{
struct PassState
{
    std::vector<Calculator*> calculators;
    // Calculators keep per-run state: projects loaded on two threads at once take turns.
    std::mutex runMutex;
    int transactions = 0;
};

// Set on the thread whose pass is running, so that the calculators' own edits start no other pass.
thread_local bool runningHere = false;

PassState& state()
{
    static PassState passState;
    return passState;
}
} // namespace

void DerivedDataPass::registerCalculator(Calculator* calculator)
{
    auto& calculators = state().calculators;
    if (calculator && std::find(calculators.begin(), calculators.end(), calculator) == calculators.end())
        calculators.push_back(calculator);
}

void DerivedDataPass::unregisterCalculator(Calculator* calculator)
{
    std::erase(state().calculators, calculator);
}

std::vector<Calculator*> DerivedDataPass::getCalculators()
{
    return state().calculators;
}

Calculator* DerivedDataPass::findCalculator(const std::string& name)
{
    for (Calculator* calculator : state().calculators)
        if (calculator->getName() == name)
            return calculator;
    return nullptr;
}

ChangeSet DerivedDataPass::run(Entity* root)
{
    ChangeSet changes;
    if (!root || runningHere)
        return changes;
    const std::lock_guard lock(state().runMutex);
    struct Running
    {
        Running() { runningHere = true; }
        ~Running() { runningHere = false; }
    } running;
    // A copy: a calculator may be unregistered while the pass runs.
    const std::vector<Calculator*> calculators = state().calculators;
    for (Calculator* calculator : calculators)
    {
        if (std::find(state().calculators.begin(), state().calculators.end(), calculator) ==
            state().calculators.end())
            continue;
        Geometry::Part part(root);
        calculator->calculateDerivedData(&part);
        ChangeSet own;
        calculator->getChangedEntities(own);
        changes.merge(own);
    }
    return changes;
}

bool DerivedDataPass::isRunning()
{
    return runningHere;
}

CalculatorRegistar::CalculatorRegistar(std::unique_ptr<Calculator> calculator)
    : calculator_(std::move(calculator))
{
    DerivedDataPass::registerCalculator(calculator_.get());
}

CalculatorRegistar::~CalculatorRegistar()
{
    DerivedDataPass::unregisterCalculator(calculator_.get());
}

EditTransaction::EditTransaction() : EditTransaction(EntityEditor::getRootEntity()) {}

EditTransaction::EditTransaction(Entity* root) : root_(root)
{
    ++state().transactions;
}

EditTransaction::~EditTransaction()
{
    if (open_)
        --state().transactions;
}

ChangeSet EditTransaction::commit()
{
    if (!open_)
        return {};
    open_ = false;
    if (--state().transactions > 0)
        return {};
    return DerivedDataPass::run(root_);
}

int EditTransaction::depth()
{
    return state().transactions;
}
} // namespace EntityModel
