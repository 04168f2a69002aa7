#pragma once
#include <QByteArray>
#include <QString>

#include <vector>

namespace EntityModel
{
class DataFactory;
class Entity;

/// Writes entities, each with every entity it owns, in the project file format (README.md,
/// "Project files"): only values that differ from their schema defaults, links by entity ID, file
/// names relative to the file's folder when they lie below it. Links to entities that are not
/// written stay in the file as IDs; such a file reads back only together with those entities.
class EntitySaver
{
public:
    /// The saver compares values with the defaults of the factory's schema.
    explicit EntitySaver(const DataFactory& factory);

    /// The file's text. fileName (may be empty) is where it will be written, for relative file names.
    QByteArray toJson(const std::vector<Entity*>& entities, const QString& fileName = {}) const;
    /// Writes the file atomically; false (and the file unchanged) when it cannot be written.
    bool save(const std::vector<Entity*>& entities, const QString& fileName) const;

private:
    const DataFactory& factory_;
};
} // namespace EntityModel
