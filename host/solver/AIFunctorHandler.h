#pragma once
#include "host/solver/AIEventHandlerOptions.h"
#include "host/solver/ExchangeSession.h"

#include "host/ai/modules/Module.h"

#include <string>
#include <vector>

namespace CFDSolver
{
/// The AI linker at solve time: at the iterations (or time steps) its update settings choose, each
/// functor's model evaluates its inputs, read from the exchange model, and writes its outputs
/// there, so that the next iteration (and the controllers after it) see them. The model is the
/// one the functor's definition carries, with its scaling and unit conversions, so a functor gives
/// what evaluating the AI model entity gives for the same inputs.
class AIFunctorHandler : public SolveTimeHandler
{
public:
    /// Loads every functor's model; throws std::runtime_error naming the AI model when one cannot
    /// be loaded. Functors without a definition (no model) are left out.
    explicit AIFunctorHandler(const Conflux::AIEventHandlerOptions& options);

    const std::string& controller() const override { return m_name; }
    void call(TesseraSDK::EventType event, ExchangeSession& session) override;

    /// The model of a definition as the solver runs it: the module with its scaling.
    static AISystem::Module loadModule(const Conflux::AIModuleDefinition& definition);

private:
    struct Functor
    {
        Conflux::AIFunctor functor;
        AISystem::Module module;
    };
    /// Whether the update settings run the models at this event and iteration.
    bool updates(TesseraSDK::EventType event, int iteration) const;
    void evaluate(const Functor& functor, ExchangeSession& session) const;

    std::string m_name = "AI models";
    Conflux::AIEventHandlerOptions m_settings;
    std::vector<Functor> m_functors;
};
} // namespace CFDSolver
