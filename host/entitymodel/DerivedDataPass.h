#pragma once
#include "host/entitymodel/ChangeSet.h"

#include <string>
#include <vector>

namespace EntityModel
{
class Calculator;
class Entity;

/// The derived-data framework: the calculators registered here run, in registration order, over a
/// project after it loads and when an edit transaction ends, and their changed entities are
/// collected into one change set.
class DerivedDataPass
{
public:
    static void registerCalculator(Calculator* calculator);
    static void unregisterCalculator(Calculator* calculator);
    static std::vector<Calculator*> getCalculators();
    /// The registered calculator of that name, or null.
    static Calculator* findCalculator(const std::string& name);

    /// Runs every calculator on the root (nothing for null) and returns what they created, changed
    /// and deleted. Exceptions of a calculator pass through; the pass does not run again from
    /// inside itself (calculators edit through EntityEditor too).
    static ChangeSet run(Entity* root);
    /// True while a pass runs on this thread.
    static bool isRunning();
};
} // namespace EntityModel
