#pragma once
#include "host/entitymodel/Schema.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace EntityModel
{
/// Reads the schema files (one JSON object per entity type, syntax in
/// host/entitymodel/schema/README.md) into entity definitions. The built-in files are a Qt
/// resource of this library; a bad file is refused with a std::runtime_error that names the file,
/// the path of the attribute inside it and the problem.
class SchemaLoader
{
public:
    /// Fills Schema::instance() from the built-in files the first time it is called (also from
    /// several threads at once); later calls return at once. Throws when a built-in file is bad.
    static void ensureBuiltInLoaded();

    /// The built-in schema files, as resource paths, sorted.
    static QStringList builtInFiles();
    /// Every built-in definition, read and cross-checked, in file order.
    static std::vector<EntityDefinition> readBuiltIn();

    /// One entity definition from the text of a schema file; fileName only names it in messages.
    static EntityDefinition parse(const QByteArray& json, const QString& fileName);
    /// Checks what one definition says about the others: linked types are known entity types,
    /// redirects name a sibling, shortcut targets and rule paths lead to attributes.
    /// fileNames[i] names definitions[i] in messages.
    static void crossCheck(const std::vector<EntityDefinition>& definitions, const QStringList& fileNames);
};
} // namespace EntityModel
