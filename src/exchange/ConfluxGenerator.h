#pragma once
#include "host/solver/LinkerType.h"
#include "host/solver/SolutionType.h"

#include <map>
#include <utility>

namespace CFDSolver
{
class Project;
}
namespace EntityModel
{
class Attribute;
class Entity;
} // namespace EntityModel
namespace Tools
{
class ToolProgress;
}

namespace Conflux
{
namespace Model
{
class Attribute;
}

/// Turns the exchange settings on the project's solution control into the solver project's
/// exchange control: whether the exchange is active, which linkers and event handlers it has,
/// the exchange model and its XML document, and the AI functors of the AI linkers.
///
/// `updateProject` must precede `generate` in a run. Failures the user must see while filling
/// the control are std::runtime_error with a fixed text ("Unsupported version", "Unsupported
/// Conflux Mode", the per-linker errors). Not thread-safe; it edits the project (the solution
/// control's time-varying flag, restored before it returns) and the solver project.
class ConfluxGenerator
{
public:
    using AttributeMap = std::map<EntityModel::Attribute*, Model::Attribute*>;

    ConfluxGenerator() = default;

    void setRootEntity(EntityModel::Entity* root) { m_root = root; }
    void attachProgressInterface(Tools::ToolProgress* progress) { m_progress = progress; }

    /// Whether the exchange is on, or (with `includeAIModels`) an AI model is active.
    bool isActive(bool includeAIModels) const;

    /// Configures the exchange control: active flag, linkers, event handlers, trigger.
    void updateProject(CFDSolver::Project* project);
    /// Builds the exchange model, writes its document, hands it to the control, wires the AI
    /// linkers and writes the control into the project store. False (and an empty map) when
    /// there is no project, solution control or exchange control.
    std::pair<bool, AttributeMap> generate(CFDSolver::Project* project, CFDSolver::SolutionType solutionType);
    /// Fires the CFD-generation event through the control. Always false.
    bool processEvents(CFDSolver::Project* project);

private:
    bool isAIModelActive() const;
    bool hasAIPythonModel() const;
    static LinkerType getLinkerType(EntityModel::Entity* solutionControl);

    void updateProject_Trivial(CFDSolver::Project* project);
    void updateProject_FileParser(CFDSolver::Project* project);
    void updateProject_UserDefinedDLL(CFDSolver::Project* project);
    void updateProject_Python(CFDSolver::Project* project);
    void updateProject_AI(CFDSolver::Project* project, bool aiPython);

    /// Reports an error line when a progress interface is attached.
    void reportError(const std::string& text) const;

    EntityModel::Entity* m_root = nullptr;
    Tools::ToolProgress* m_progress = nullptr;
};
} // namespace Conflux
