#include "host/entitymodel/Calculator.h"
#include "host/entitymodel/EntityEditor.h"
#include "src/ai/definition/AIModelCalculator.h"
#include "src/ai/training/AIModelEntityEditExtender.h"

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
// Registered while the library is loaded, as the application expects of it: the edit hook that
// creates and deletes AI models, and the derived data of AI models.
const EntityModel::EntityEditRegistar aiModelEditExtender(std::make_unique<AIModelEntityEditExtender>());
const EntityModel::CalculatorRegistar aiModelCalculator(std::make_unique<AIModelCalculator>());
} // namespace
} // namespace Conflux
