#pragma once
#include "host/entitymodel/SafeQThread.h"
#include "host/solver/SolutionType.h"

#include <string>

namespace EntityModel
{
class Entity;
}
namespace Tools
{
class ToolProgress;
}

namespace Conflux
{
/// One exchange generation on a thread of its own: it makes the solver project, lets a
/// ConfluxGenerator configure its exchange control, builds and writes the exchange model and
/// the control, fires the CFD-generation event and reports every step through the progress
/// interface. No exception leaves the thread: failures become error lines.
///
/// The project must not be edited while the runner runs.
class ConfluxRunner : public EntityModel::SafeQThread
{
    Q_OBJECT

public:
    /// `storeDirectory` and `projectName` are the solver project's store directory and name
    /// (the first and second arguments of its constructor); `reserved` is kept and not used by
    /// the run. `progress` and `root` may be null and are not owned.
    ConfluxRunner(Tools::ToolProgress* progress, const std::string& storeDirectory, const std::string& reserved,
                  const std::string& projectName, EntityModel::Entity* root, CFDSolver::SolutionType solutionType);
    /// Waits for a running generation to end: the run reads the members that go with the runner.
    ~ConfluxRunner() override;

protected:
    void do_run() override;

private:
    /// Posts an informational line, translated, when a progress interface is attached.
    void message(const char* text) const;

    Tools::ToolProgress* m_progress;
    std::string m_storeDirectory;
    std::string m_reserved;
    std::string m_projectName;
    EntityModel::Entity* m_root;
    CFDSolver::SolutionType m_solutionType;
};
} // namespace Conflux
