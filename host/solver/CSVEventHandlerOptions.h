#pragma once
#include <cstdint>
#include <string>

namespace Conflux
{
/// The settings of the file-parser linker: where the exchange files are and how the solver
/// trades them with the outside controller.
struct CSVEventHandlerOptions
{
    std::string directory;                        ///< exchange directory
    std::int32_t inputFileTryAttempts = -1;       ///< attempts to read an input file; -1 unlimited
    std::int32_t fileMode = 1;                    ///< 1 default file mode, 2 sequential files
    std::int32_t syncMode = 10;                   ///< 10 every N iterations, 20 every time step
    std::int32_t syncStartIteration = 0;          ///< first iteration of the exchange (syncMode 10)
    std::int32_t syncIterationInterval = 1;       ///< iterations between exchanges (syncMode 10)
    bool useFullEntityName = false;               ///< full entity names in the files
    std::int32_t stateFileMode = 0;               ///< 0 auto, 1 strict, 2 no state file
    std::int32_t parseFailureHandling = 0;        ///< 0 try again, 1 strict, 2 ignore
    std::int32_t solverHeartbeatInterval = 10;    ///< solver's heartbeat interval, whole seconds
    std::int32_t clientHeartbeatGracePeriod = 30; ///< client's heartbeat grace period; -1 no check

    bool operator==(const CSVEventHandlerOptions&) const = default;
};
} // namespace Conflux
