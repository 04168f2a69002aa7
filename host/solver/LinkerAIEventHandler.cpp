#include "host/solver/LinkerAIEventHandler.h"

#include <memory>
#include <utility>

namespace Conflux
{
namespace
{
const char* const aiLibrary = "ConfluxAI";
}

LinkerAIEventHandler::LinkerAIEventHandler(const AIEventHandlerOptions& options)
    : LinkerBase(aiLibrary), m_options(options)
{
    adopt(m_options.functors, m_options.definitions);
}

LinkerAIEventHandler::LinkerAIEventHandler(const LinkerAIEventHandler& other)
    : LinkerBase(other), m_options(other.m_options)
{
    adopt(m_options.functors, m_options.definitions);
}

LinkerAIEventHandler& LinkerAIEventHandler::operator=(const LinkerAIEventHandler& other)
{
    if (this != &other)
    {
        LinkerBase::operator=(other);
        m_options = other.m_options;
        adopt(m_options.functors, m_options.definitions);
    }
    return *this;
}

LinkerAIEventHandler::~LinkerAIEventHandler() = default;

std::string LinkerAIEventHandler::getEventHandler()
{
    return "AIEventHandler";
}

void LinkerAIEventHandler::adopt(std::vector<AIFunctor>& functors, AIModuleDefinitionCollection& definitions)
{
    for (AIFunctor& functor : functors)
    {
        const AIModuleDefinition* definition = functor.getDefinition();
        if (definition == nullptr || definitions.indexOf(definition))
            continue;
        // An equal definition already held is returned and the copy dropped.
        functor.setDefinition(
            definitions.insertDefinition(std::make_unique<AIModuleDefinition>(*definition)).first);
    }
}

void LinkerAIEventHandler::setFunctors(const std::vector<AIFunctor>& functors)
{
    std::vector<AIFunctor> copy = functors;
    adopt(copy, m_options.definitions);
    m_options.functors = std::move(copy);
}

void LinkerAIEventHandler::setDefinitions(const AIModuleDefinitionCollection& definitions)
{
    AIModuleDefinitionCollection copy = definitions;
    // The functors still point into the old collection here, so their definitions can be compared.
    adopt(m_options.functors, copy);
    m_options.definitions = std::move(copy);
}

bool LinkerAIEventHandler::isEqual(const LinkerAIEventHandler& other) const
{
    return m_options.updateMode == other.m_options.updateMode &&
           m_options.updateStartIteration == other.m_options.updateStartIteration &&
           m_options.updateIterationInterval == other.m_options.updateIterationInterval &&
           m_options.functors == other.m_options.functors &&
           m_options.definitions == other.m_options.definitions;
}

void LinkerAIEventHandler::toStream(FileSystem::DataOStream& stream) const
{
    stream.field("updateMode", m_options.updateMode);
    stream.field("updateStartIteration", m_options.updateStartIteration);
    stream.field("updateIterationInterval", m_options.updateIterationInterval);
    m_options.definitions.write(stream);
    stream.field("functorCount", static_cast<std::uint32_t>(m_options.functors.size()));
    for (const AIFunctor& functor : m_options.functors)
        functor.write(stream, m_options.definitions);
}

void LinkerAIEventHandler::fromStream(FileSystem::DataIStream& stream)
{
    AIEventHandlerOptions options;
    stream.field("updateMode", options.updateMode);
    stream.field("updateStartIteration", options.updateStartIteration);
    stream.field("updateIterationInterval", options.updateIterationInterval);
    options.definitions.read(stream);
    std::uint32_t count = 0;
    stream.field("functorCount", count);
    // A functor record holds at least its name and three counts.
    if (!stream.checkCount(count, 16))
        return;
    for (std::uint32_t i = 0; i < count && stream.good(); ++i)
    {
        AIFunctor functor;
        functor.read(stream, options.definitions);
        options.functors.push_back(std::move(functor));
    }
    if (stream.good())
        m_options = std::move(options);
}
} // namespace Conflux
