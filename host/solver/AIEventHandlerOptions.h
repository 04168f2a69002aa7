#pragma once
#include "src/model/ai/AIFunctor.h"
#include "src/model/ai/AIModuleDefinitionCollection.h"

#include <cstdint>
#include <vector>

namespace Conflux
{
/// The settings of an AI linker: when the solver runs the AI models, and the models themselves
/// (functors and their module definitions, filled in when the exchange model is generated).
struct AIEventHandlerOptions
{
    std::int32_t updateMode = 10;             ///< 10 every N iterations, 20 every time step
    std::int32_t updateStartIteration = 0;    ///< first iteration (updateMode 10)
    std::int32_t updateIterationInterval = 1; ///< iterations between updates (updateMode 10)
    std::vector<AIFunctor> functors;
    AIModuleDefinitionCollection definitions;
};
} // namespace Conflux
