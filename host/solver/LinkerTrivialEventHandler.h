#pragma once
#include "host/solver/LinkerBase.h"
#include "host/solver/LinkerConfluxDLL.h"
#include "host/solver/TrivialEventHandlerOptions.h"

namespace Conflux
{
/// The linker of the trivial exchange: the solver's own handler library that exchanges nothing,
/// used to run the exchange machinery without a controller.
class LinkerTrivialEventHandler
    : public LinkerBase<LinkerTrivialEventHandler, LinkerType::TrivialEventHandler, LinkerConfluxDLL>
{
public:
    explicit LinkerTrivialEventHandler(const TrivialEventHandlerOptions& options = {});

    /// The name of the event handler function in the library.
    static std::string getEventHandler();

    const TrivialEventHandlerOptions& getOptions() const { return m_options; }

    bool isEqual(const LinkerTrivialEventHandler& other) const { return m_options == other.m_options; }
    void toStream(FileSystem::DataOStream& stream) const;
    void fromStream(FileSystem::DataIStream& stream);

private:
    TrivialEventHandlerOptions m_options;
};
} // namespace Conflux
