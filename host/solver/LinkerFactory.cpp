#include "host/solver/LinkerFactory.h"

#include "host/solver/LinkerAIEventHandler.h"
#include "host/solver/LinkerCSVEventHandler.h"
#include "host/solver/LinkerPythonModule.h"
#include "host/solver/LinkerTrivialEventHandler.h"
#include "host/solver/LinkerUserDefinedDLL.h"

#include <map>
#include <mutex>
#include <utility>

namespace Conflux
{
namespace
{
template <class Linker> LinkerFactory::Creator makerOf()
{
    return [] { return std::unique_ptr<LinkerAbstract>(std::make_unique<Linker>()); };
}

struct Registry
{
    std::mutex mutex;
    std::map<LinkerType, LinkerFactory::Creator> makers{
        {LinkerType::TrivialEventHandler, makerOf<LinkerTrivialEventHandler>()},
        {LinkerType::CSVEventHandler, makerOf<LinkerCSVEventHandler>()},
        {LinkerType::AIEventHandler, makerOf<LinkerAIEventHandler>()},
        {LinkerType::UserDefinedDLL, makerOf<LinkerUserDefinedDLL>()},
        {LinkerType::PythonModule, makerOf<LinkerPythonModule>()},
    };
};

// Function-local so that registrations made while other libraries load find it constructed.
Registry& registry()
{
    static Registry instance;
    return instance;
}
} // namespace

void LinkerFactory::registerLinker(LinkerType type, Creator creator)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.makers[type] = std::move(creator);
}

std::unique_ptr<LinkerAbstract> LinkerFactory::create(LinkerType type)
{
    Creator maker;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        const auto found = r.makers.find(type);
        if (found == r.makers.end() || !found->second)
            return nullptr;
        maker = found->second;
    }
    return maker();
}
} // namespace Conflux
