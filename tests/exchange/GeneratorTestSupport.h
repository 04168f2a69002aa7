#pragma once
// The sample data centre loaded as the current project, with a temporary solver project store, for
// the tests of the exchange generation.
#include "src/exchange/ConfluxGenerator.h"

#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/entitymodel/TypeRef.h"
#include "host/solver/ConfluxCntrl.h"
#include "host/solver/Project.h"

#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

namespace GeneratorTest
{
using namespace EntityModel;

/// The sample project as the editor's current project. Its solution control has the exchange on in
/// file-parser mode, an active neural-network AI model, one user-defined library and one Python
/// module, each with a selected event handler.
class SampleProject
{
public:
    SampleProject() : project(ProjectFile::load(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json"))
    {
        EntityEditor::setCurrentProject(project.get());
        root = project->getRootEntity();
        control = EntityFetcher::getSolutionControl(root);
        // Fixed model data keeps the written control independent of the network the sample carries.
        EntityEditor::setValue(entity("Server A01-1 Surrogate"), "NeuralNetwork Model Data", "untrained");
    }
    ~SampleProject() { EntityEditor::setCurrentProject(nullptr); }
    SampleProject(const SampleProject&) = delete;
    SampleProject& operator=(const SampleProject&) = delete;

    /// Sets a value on the solution control ("Conflux Control.Mode", ...).
    void set(const std::string& path, const EditValue& value) const
    {
        EntityEditor::setValue(control, path, value);
    }
    void exchangeOnly() const { set("AI Model Control.Active", No_t); }

    /// The entity of that name anywhere in the project.
    Entity* entity(const std::string& name) const
    {
        std::vector<Entity*> all;
        root->getOwnedChildEntities(all);
        for (Entity* e : all)
            if (e->getName() == name)
                return e;
        return nullptr;
    }

    std::string storeDirectory() const { return temporary.path().toStdString() + "/store"; }
    std::unique_ptr<CFDSolver::Project>
    solverProject(CFDSolver::Project::Exchange exchange = CFDSolver::Project::Exchange::WithControl) const
    {
        return std::make_unique<CFDSolver::Project>(storeDirectory(), "sample", std::string(), exchange);
    }
    Conflux::ConfluxGenerator generator() const
    {
        Conflux::ConfluxGenerator result;
        result.setRootEntity(root);
        return result;
    }

    QTemporaryDir temporary;
    std::unique_ptr<Project> project;
    Entity* root = nullptr;
    Entity* control = nullptr;
};

/// The kinds of the control's linkers, in order.
inline std::vector<Conflux::LinkerType> linkerTypes(const CFDSolver::ConfluxCntrl& control)
{
    std::vector<Conflux::LinkerType> types;
    for (const auto& linker : control.getLinkers())
        types.push_back(linker->getType());
    return types;
}

/// The control's linker at `index`, as its own class.
template <class Linker> const Linker& linkerAt(const CFDSolver::ConfluxCntrl& control, std::size_t index)
{
    auto it = control.getLinkers().begin();
    std::advance(it, static_cast<std::ptrdiff_t>(index));
    return dynamic_cast<const Linker&>(**it);
}
} // namespace GeneratorTest
