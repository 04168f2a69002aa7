#include "host/solver/LinkerTrivialEventHandler.h"

namespace Conflux
{
LinkerTrivialEventHandler::LinkerTrivialEventHandler(const TrivialEventHandlerOptions& options)
    : LinkerBase("ConfluxTrivial"), m_options(options)
{
}

std::string LinkerTrivialEventHandler::getEventHandler()
{
    return "TrivialEventHandler";
}

// The record has no fields: the section written around it is the whole record.
void LinkerTrivialEventHandler::toStream(FileSystem::DataOStream&) const {}

void LinkerTrivialEventHandler::fromStream(FileSystem::DataIStream&) {}
} // namespace Conflux
