#pragma once
#include "host/solver/CSVEventHandlerOptions.h"
#include "host/solver/LinkerBase.h"
#include "host/solver/LinkerConfluxDLL.h"

namespace Conflux
{
/// The file-parser linker: the solver's handler library that trades values with an outside
/// controller through comma-separated files in the options' directory.
class LinkerCSVEventHandler
    : public LinkerBase<LinkerCSVEventHandler, LinkerType::CSVEventHandler, LinkerConfluxDLL>
{
public:
    explicit LinkerCSVEventHandler(const CSVEventHandlerOptions& options = {});

    /// The name of the event handler function in the library.
    static std::string getEventHandler();

    const CSVEventHandlerOptions& getOptions() const { return m_options; }

    bool isEqual(const LinkerCSVEventHandler& other) const { return m_options == other.m_options; }
    void toStream(FileSystem::DataOStream& stream) const;
    void fromStream(FileSystem::DataIStream& stream);

private:
    CSVEventHandlerOptions m_options;
};
} // namespace Conflux
