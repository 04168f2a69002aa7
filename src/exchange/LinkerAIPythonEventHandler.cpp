#include "src/exchange/LinkerAIPythonEventHandler.h"

#include "host/solver/LinkerFactory.h"

namespace Conflux
{
namespace
{
// Controls written with this linker can be read back once the library is loaded.
const bool registered = [] {
    LinkerFactory::registerLinker(LinkerType::AIPythonEventHandler,
                                  [] { return std::make_unique<LinkerAIPythonEventHandler>(); });
    return true;
}();
} // namespace
} // namespace Conflux
