#include "host/solver/LinkerCSVEventHandler.h"

#include <utility>

namespace Conflux
{
LinkerCSVEventHandler::LinkerCSVEventHandler(const CSVEventHandlerOptions& options)
    : LinkerBase("ConfluxCSV"), m_options(options)
{
}

std::string LinkerCSVEventHandler::getEventHandler()
{
    return "CSVEventHandler";
}

void LinkerCSVEventHandler::toStream(FileSystem::DataOStream& stream) const
{
    stream.field("directory", m_options.directory);
    stream.field("inputFileTryAttempts", m_options.inputFileTryAttempts);
    stream.field("fileMode", m_options.fileMode);
    stream.field("syncMode", m_options.syncMode);
    stream.field("syncStartIteration", m_options.syncStartIteration);
    stream.field("syncIterationInterval", m_options.syncIterationInterval);
    stream.field("useFullEntityName", m_options.useFullEntityName);
    stream.field("stateFileMode", m_options.stateFileMode);
    stream.field("parseFailureHandling", m_options.parseFailureHandling);
    stream.field("solverHeartbeatInterval", m_options.solverHeartbeatInterval);
    stream.field("clientHeartbeatGracePeriod", m_options.clientHeartbeatGracePeriod);
}

void LinkerCSVEventHandler::fromStream(FileSystem::DataIStream& stream)
{
    CSVEventHandlerOptions options;
    stream.field("directory", options.directory);
    stream.field("inputFileTryAttempts", options.inputFileTryAttempts);
    stream.field("fileMode", options.fileMode);
    stream.field("syncMode", options.syncMode);
    stream.field("syncStartIteration", options.syncStartIteration);
    stream.field("syncIterationInterval", options.syncIterationInterval);
    stream.field("useFullEntityName", options.useFullEntityName);
    stream.field("stateFileMode", options.stateFileMode);
    stream.field("parseFailureHandling", options.parseFailureHandling);
    stream.field("solverHeartbeatInterval", options.solverHeartbeatInterval);
    stream.field("clientHeartbeatGracePeriod", options.clientHeartbeatGracePeriod);
    if (stream.good())
        m_options = std::move(options);
}
} // namespace Conflux
