#pragma once
#include "host/entitymodel/EntityEditor.h"

namespace Conflux
{
/// Makes a project the editor's current one (as an open project is: builders, checks and
/// calculators read the editor's root) for as long as it lives, then puts back the previous one.
class CurrentProject
{
public:
    explicit CurrentProject(EntityModel::Project* project)
        : m_previous(EntityModel::EntityEditor::getCurrentProject())
    {
        EntityModel::EntityEditor::setCurrentProject(project);
    }
    ~CurrentProject() { EntityModel::EntityEditor::setCurrentProject(m_previous); }
    CurrentProject(const CurrentProject&) = delete;
    CurrentProject& operator=(const CurrentProject&) = delete;

private:
    EntityModel::Project* m_previous;
};
} // namespace Conflux
