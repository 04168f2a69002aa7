#include "host/solver/AIFunctorHandler.h"

#include "host/ai/modules/AISolverInfo.h"
#include "host/ai/modules/TranformedModule.h"
#include "host/filesystem/BinaryDataIStream.h"

#include "src/model/Attribute.h"

#include <sstream>
#include <stdexcept>

namespace CFDSolver
{
AISystem::Module AIFunctorHandler::loadModule(const Conflux::AIModuleDefinition& definition)
{
    const Utilities::bytearray& data = definition.getData();
    std::istringstream bytes(std::string(reinterpret_cast<const char*>(data.data()), data.size()));
    FileSystem::BinaryDataIStream stream(bytes);
    AISystem::AISolverInfo info;
    stream >> info;
    if (stream.fail())
        throw std::runtime_error("its record cannot be read: " + stream.errorMessage());
    AISystem::Module module = AISystem::Module::fromByteArray(info.moduleType, info.modelData);
    std::optional<AISystem::TensorScalingTransform> in = info.inputTransform;
    std::optional<AISystem::TensorScalingTransform> out = info.outputTransform;
    if (in && in->isIdentity())
        in.reset();
    if (out && out->isIdentity())
        out.reset();
    if (!in && !out)
        return module;
    return AISystem::Module(AISystem::TranformedModule(module, in, out));
}

AIFunctorHandler::AIFunctorHandler(const Conflux::AIEventHandlerOptions& options)
{
    m_settings.updateMode = options.updateMode;
    m_settings.updateStartIteration = options.updateStartIteration;
    m_settings.updateIterationInterval = options.updateIterationInterval;
    for (const Conflux::AIFunctor& functor : options.functors)
    {
        if (functor.getDefinition() == nullptr)
            continue;
        try
        {
            m_functors.push_back({functor, loadModule(*functor.getDefinition())});
        }
        catch (const std::exception& error)
        {
            throw std::runtime_error("AI model '" + functor.getName() + "' cannot be loaded: " + error.what());
        }
    }
}

bool AIFunctorHandler::updates(TesseraSDK::EventType event, int iteration) const
{
    switch (event)
    {
    case TesseraSDK::EventType::Iteration:
        if (m_settings.updateMode == 20 || iteration < m_settings.updateStartIteration)
            return false;
        return m_settings.updateIterationInterval <= 1 ||
               (iteration - m_settings.updateStartIteration) % m_settings.updateIterationInterval == 0;
    case TesseraSDK::EventType::TimeStep:
        return m_settings.updateMode == 20;
    case TesseraSDK::EventType::CFDGeneration:
    case TesseraSDK::EventType::SolveEnd:
        return false;
    }
    return false;
}

void AIFunctorHandler::call(TesseraSDK::EventType event, ExchangeSession& session)
{
    if (!updates(event, session.iteration()))
        return;
    for (const Functor& functor : m_functors)
        evaluate(functor, session);
}

void AIFunctorHandler::evaluate(const Functor& functor, ExchangeSession& session) const
{
    const std::string& name = functor.functor.getName();
    const std::string where = "AI model '" + name + "', iteration " + std::to_string(session.iteration());
    const auto& inputs = functor.functor.getInputs();
    const auto& outputs = functor.functor.getOutputs();
    std::vector<double> row;
    for (const auto& input : inputs)
    {
        const ExchangeValues::Value* value = session.values().find(input.get());
        if (value == nullptr)
            throw std::runtime_error(where + ": input " + std::to_string(row.size() + 1) + " is no exchange value");
        const ExchangeScalar read = ExchangeValues::read(*value->attribute, false);
        if (const double* number = std::get_if<double>(&read))
            row.push_back(*number);
        else if (const int* whole = std::get_if<int>(&read))
            row.push_back(*whole);
        else
            throw std::runtime_error(where + ": input '" + value->path + "' is not a number");
    }
    session.valuesRead(name, row.size());
    AISystem::Tensor result;
    try
    {
        result = functor.module.eval(
            AISystem::Tensor::fromValues(AISystem::TensorShape({1, static_cast<std::int64_t>(row.size())}), row));
    }
    catch (const std::exception& error)
    {
        throw std::runtime_error(where + ": " + error.what());
    }
    if (result.getElementCount() != static_cast<std::int64_t>(outputs.size()))
        throw std::runtime_error(where + ": the model gave " + std::to_string(result.getElementCount()) +
                                 " outputs for the functor's " + std::to_string(outputs.size()));
    std::vector<std::pair<const ExchangeValues::Value*, double>> writes;
    for (std::size_t i = 0; i < outputs.size(); ++i)
    {
        const ExchangeValues::Value* value = session.values().find(outputs[i].get());
        if (value == nullptr)
            throw std::runtime_error(where + ": output " + std::to_string(i + 1) + " is no exchange value");
        const double number = result.getDouble(static_cast<std::int64_t>(i));
        try
        {
            session.checkRange(*value, number);
        }
        catch (const std::runtime_error& error)
        {
            session.writeRefused(name, value->path, error.what());
            throw std::runtime_error(where + ": '" + value->path + "': " + error.what());
        }
        writes.emplace_back(value, number);
    }
    for (const auto& [value, number] : writes)
    {
        ExchangeValues::write(*value->attribute, number, false);
        session.valueWritten(name, *value);
    }
}
} // namespace CFDSolver
