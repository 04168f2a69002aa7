// confluxtool export-model: the exchange model of a project as its XML document.
#include "cli/AIFunctorListing.h"
#include "cli/Command.h"

#include "host/entitymodel/DataFactory.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/entitymodel/Schema.h"
#include "src/exchange/XMLDocGenerator.h"
#include "src/model/Entity.h"
#include "src/model/builders/EntityTreeBuilder.h"
#include "src/project/CurrentProject.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <iostream>
#include <memory>
#include <set>
#include <stdexcept>

namespace ConfluxCli
{
namespace
{
extern const Command exportModelCommand;

bool forceDoubleAttributes(EntityModel::Entity* root)
{
    return EntityModel::getBoolValue(
        EntityModel::EntityFetcher::getSolutionControl(root),
        EntityModel::Conflux_Control_t / EntityModel::AttributePath("Force Double Attributes"), false);
}

/// Writes one document to a file, or to stdout when the path is empty.
void writeDocument(const Conflux::Model::Entity& root, const QString& path)
{
    if (path.isEmpty())
    {
        const QByteArray bytes = Conflux::XMLDocGenerator::toByteArray(root);
        std::cout.write(bytes.constData(), bytes.size());
        std::cout.flush();
        return;
    }
    QString error;
    if (!Conflux::XMLDocGenerator::writeFile(root, path, &error))
        throw std::runtime_error(error.toStdString());
}

/// The entity documenting a type: the project's first entity of that type, else a new one with
/// the schema's defaults (kept alive by `made`).
EntityModel::Entity* documentedEntity(EntityModel::Entity* root, EntityModel::TypeRef type,
                                      std::unique_ptr<EntityModel::Entity>& made)
{
    if (root->getTypeRef() == type)
        return root;
    const auto found = root->getOwnedChildEntitiesOfType(type);
    if (!found.empty())
        return found.front();
    made = EntityModel::DataFactory().createEntity(type);
    return made.get();
}

int run(const std::vector<std::string>& args)
{
    QCommandLineParser parser;
    const QCommandLineOption outputOption({"o", "output"}, "", "file name");
    // --document takes the entity types that follow it, so it is a flag over the positionals.
    const QCommandLineOption documentOption("document");
    if (const auto status = parseArguments(exportModelCommand, parser, {outputOption, documentOption}, args))
        return *status;
    QStringList positionals = parser.positionalArguments();
    if (positionals.isEmpty())
        return usageError(exportModelCommand, "a project file is needed");
    const std::string projectPath = positionals.takeFirst().toStdString();
    const std::string outputPath = parser.value(outputOption).toStdString();
    std::vector<std::string> types;
    if (parser.isSet(documentOption))
        for (const QString& type : positionals)
            types.push_back(type.toStdString());
    else if (!positionals.isEmpty())
        return usageError(exportModelCommand,
                          "unexpected argument '" + positionals.front().toStdString() + "'");
    if (parser.isSet(documentOption) && types.empty())
        return usageError(exportModelCommand, "--document needs at least one entity type");

    const auto project = EntityModel::ProjectFile::load(QString::fromStdString(projectPath));
    const Conflux::CurrentProject current(project.get());
    EntityModel::Entity* root = project->getRootEntity();
    const bool forceDouble = forceDoubleAttributes(root);

    if (types.empty())
    {
        const auto tree = Conflux::Model::EntityTreeBuilder::create(root, TesseraSDK::AccessType::ReadWrite,
                                                                    true, forceDouble);
        if (!tree.first)
        {
            std::cerr << "confluxtool export-model: nothing of '" << projectPath
                      << "' takes part in the exchange (no entity has Conflux/Active set)\n";
            return 1;
        }
        writeDocument(*tree.first, QString::fromStdString(outputPath));
        // The wiring of the AI models goes beside the document, never into it.
        listAIFunctors(outputPath.empty() ? std::cerr : std::cout, root, tree.second);
        return 0;
    }

    for (const auto& label : types)
        if (!EntityModel::Schema::instance().find(EntityModel::TypeRef(label)))
            throw std::runtime_error("unknown entity type '" + label + "'");
    if (types.size() > 1 && !outputPath.empty() && !QDir().mkpath(QString::fromStdString(outputPath)))
        throw std::runtime_error("cannot make the folder '" + outputPath + "'");
    const std::set<std::string> documented(types.begin(), types.end());
    for (const auto& label : types)
    {
        std::unique_ptr<EntityModel::Entity> made;
        EntityModel::Entity* entity = documentedEntity(root, EntityModel::TypeRef(label), made);
        const auto tree = Conflux::Model::EntityTreeBuilder::document(
            entity, entity, TesseraSDK::AccessType::ReadWrite, documented, true, forceDouble);
        if (!tree.first)
        {
            std::cerr << "confluxtool export-model: entity type '" << label
                      << "' has no exchange attributes\n";
            continue;
        }
        QString path = QString::fromStdString(outputPath);
        if (types.size() > 1 && !path.isEmpty())
            path = QDir(path).filePath(QString::fromStdString(label) + QStringLiteral(".xml"));
        writeDocument(*tree.first, path);
    }
    return 0;
}

const Command exportModelCommand{
    "export-model",
    "writes the exchange model of a project as its XML document",
    "Usage: confluxtool export-model PROJECT [-o FILE] [--document TYPE...]\n"
    "\n"
    "Builds the exchange model of the project file PROJECT as a generation run does (every entity\n"
    "whose Conflux/Active is set, with its attributes flagged for the exchange, read-write access at\n"
    "most, real values as doubles when the solution control's \"Force Double Attributes\" is set) and\n"
    "writes its XML document to FILE, or to the standard output without -o. FILE is replaced only\n"
    "once the whole document is written. It then lists the AI functors the solver would receive (name,\n"
    "module type, owner, inputs and outputs by exchange path), on the standard error without -o.\n"
    "\n"
    "--document TYPE...  documents entity types instead (type labels, e.g. \"IT Equipment\"): for each\n"
    "                    type, the project's first entity of that type (a new one with default values\n"
    "                    when the project has none) with every attribute flagged for the exchange,\n"
    "                    whether its exchange is switched on or not, and links to the listed types.\n"
    "                    With several types, -o names a folder that receives TYPE.xml for each.\n"
    "-o, --output FILE   where to write the document.\n",
    &run,
};

const CommandRegistration registration(exportModelCommand);
} // namespace
} // namespace ConfluxCli
