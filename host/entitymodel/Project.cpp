#include "host/entitymodel/Project.h"

#include "host/entitymodel/EntityEditor.h"

namespace EntityModel
{
Project::Project(std::unique_ptr<Entity> root, std::string filePath)
    : root_(std::move(root)), filePath_(std::move(filePath))
{
}

Project::~Project()
{
    // The editor must not keep a dangling current project.
    if (EntityEditor::getCurrentProject() == this)
        EntityEditor::setCurrentProject(nullptr);
}
} // namespace EntityModel
