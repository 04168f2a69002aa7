#pragma once
#include "host/entitymodel/Entity.h"

#include <memory>
#include <string>

namespace EntityModel
{
/// A project: the root entity (of type Project) and the file it came from.
class Project
{
public:
    explicit Project(std::unique_ptr<Entity> root, std::string filePath = {});
    ~Project();
    Project(const Project&) = delete;
    Project& operator=(const Project&) = delete;

    Entity* getRootEntity() const { return root_.get(); }
    const std::string& getFilePath() const { return filePath_; }
    void setFilePath(std::string path) { filePath_ = std::move(path); }

private:
    std::unique_ptr<Entity> root_;
    std::string filePath_;
};
} // namespace EntityModel
