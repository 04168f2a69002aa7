#include "host/entitymodel/Calculator.h"
#include "src/ai/definition/AIModelCalculator.h"

#include <memory>

namespace Conflux
{
// The library's version, so a loaded ConfluxTool can be told apart from another build.
const char* version()
{
    return "0.1.0";
}

namespace
{
// Registered while the library is loaded, as the application expects of it: the derived data of
// AI models.
const EntityModel::CalculatorRegistar aiModelCalculator(std::make_unique<AIModelCalculator>());
} // namespace
} // namespace Conflux
