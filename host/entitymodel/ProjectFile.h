#pragma once
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/Project.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

namespace EntityModel
{
/// Reads and writes projects as JSON files (format in README.md, "Project files"). Reading is all
/// or nothing: a bad file (not JSON, an unknown entity type or attribute, a value of the wrong
/// kind or out of bounds, a dangling or ill-typed link, an ID used twice, an entity owned twice or
/// by nobody) throws std::runtime_error whose text names the file, the entity and the attribute:
///   FILE: entity 'NAME' (TYPE FILEID-SERIAL), attribute 'PATH': PROBLEM
/// The built-in schema is loaded first when it is not yet.
class ProjectFile
{
public:
    /// A project from a file; its root is the file's first entity, which must be a Project. The
    /// derived-data pass runs over it before it is returned.
    static std::unique_ptr<Project> load(const QString& fileName);
    /// A project from the text of a file; fileName names it in messages and anchors relative file names.
    static std::unique_ptr<Project> fromJson(const QByteArray& json, const QString& fileName);
    /// Every entity of a file that no other entity owns, in file order (as EntitySaver writes them).
    static std::vector<std::unique_ptr<Entity>> readEntities(const QByteArray& json, const QString& fileName);

    /// Writes a project atomically; throws std::runtime_error naming the file when it cannot.
    static void save(const Project& project, const QString& fileName);
    /// The text of a project file; fileName (may be empty) anchors relative file names.
    static QByteArray toJson(const Project& project, const QString& fileName = {});
};
} // namespace EntityModel
