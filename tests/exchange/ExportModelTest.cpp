// The sample project's exchange document against its reviewed golden file, built in the library
// and through `confluxtool export-model`.
// After a deliberate change of the sample or of the document, regenerate the golden file with
//   confluxtool export-model examples/sample-datacentre.json -o examples/sample-datacentre.exchange.xml
// and review the difference.
#include "src/exchange/XMLDocGenerator.h"

#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/ProjectFile.h"
#include "src/model/Entity.h"
#include "src/model/ShortcutAttribute.h"
#include "src/model/builders/EntityTreeBuilder.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace
{
const QString samplePath = QStringLiteral(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json");
const QString goldenPath = QStringLiteral(CONFLUX_EXAMPLES_DIR "/sample-datacentre.exchange.xml");

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct ToolRun
{
    int status;
    QByteArray out, err;
};

ToolRun confluxtool(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(CONFLUX_TOOL_EXECUTABLE), arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

/// Counts elements per name and checks the document reads back without error.
std::map<QString, int> elementCounts(const QByteArray& document, std::set<QString>* paths = nullptr)
{
    std::map<QString, int> counts;
    QXmlStreamReader reader(document);
    while (!reader.atEnd())
        if (reader.readNext() == QXmlStreamReader::StartElement)
        {
            ++counts[reader.name().toString()];
            if (paths)
                paths->insert(reader.attributes().value("path").toString());
        }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return counts;
}
} // namespace

TEST(ExportModel, SampleProjectGivesTheGoldenDocument)
{
    const auto project = EntityModel::ProjectFile::load(samplePath);
    EntityModel::EntityEditor::setCurrentProject(project.get());
    EntityModel::Entity* root = project->getRootEntity();
    const bool forceDouble = EntityModel::getBoolValue(
        EntityModel::EntityFetcher::getSolutionControl(root),
        EntityModel::Conflux_Control_t / EntityModel::AttributePath("Force Double Attributes"));
    const auto tree =
        Conflux::Model::EntityTreeBuilder::create(root, TesseraSDK::AccessType::ReadWrite, true, forceDouble);
    EntityModel::EntityEditor::setCurrentProject(nullptr);
    ASSERT_NE(tree.first, nullptr);

    const QByteArray document = Conflux::XMLDocGenerator::toByteArray(*tree.first);
    const QByteArray golden = readFile(goldenPath);
    ASSERT_FALSE(golden.isEmpty()) << goldenPath.toStdString();
    EXPECT_EQ(document.toStdString(), golden.toStdString());

    // Read back: every project attribute the exchange mirrors has its element, found by path.
    std::set<QString> paths;
    const auto counts = elementCounts(document, &paths);
    EXPECT_GT(counts.count("Entity"), 0u);
    for (const auto& [host, node] : tree.second)
        EXPECT_EQ(paths.count(QString::fromStdString(node->getAttributePath(true).toString())), 1u)
            << host->getEntityAndAttributePath().toString('.');
}

TEST(ExportModel, SameNamedRacksKeepTheirWiring)
{
    QByteArray text = readFile(samplePath);
    ASSERT_TRUE(text.contains("\"Rack A02\""));
    text.replace("\"Rack A02\"", "\"Rack A01\"");
    const auto project = EntityModel::ProjectFile::fromJson(text, "renamed.json");
    EntityModel::EntityEditor::setCurrentProject(project.get());
    Conflux::Model::EntityTreeReport report;
    const auto tree = Conflux::Model::EntityTreeBuilder::create(
        project->getRootEntity(), TesseraSDK::AccessType::ReadWrite, true, false, report);
    EntityModel::EntityEditor::setCurrentProject(nullptr);
    ASSERT_NE(tree.first, nullptr);
    EXPECT_TRUE(report.unresolvedShortcuts.empty());

    // Each rack is labelled with its identifier; each inlet's shortcut reaches its own results.
    const Conflux::Model::AttributePath cabinets{"Rooms", "Data Hall 1", "Cabinets"};
    for (const auto& [rack, equipment] :
         {std::pair{"Rack A01 [1-31]", "Server A01-1"}, {"Rack A01 [1-32]", "GPU Node A02-1"}})
    {
        SCOPED_TRACE(rack);
        const auto* shortcut = dynamic_cast<const Conflux::Model::ShortcutAttribute*>(
            tree.first->findAttribute(cabinets / rack / "IT Equipment List" / equipment / "Inflows" /
                                          (std::string(equipment) + " Inlet") / "Inlet Temperature",
                                      false));
        ASSERT_NE(shortcut, nullptr);
        ASSERT_EQ(shortcut->getShortcuts().size(), 1u);
        const Conflux::Model::Attribute* target = shortcut->getTarget();
        ASSERT_NE(target, nullptr);
        EXPECT_EQ(target->getParentEntity()->getName(false), std::string(equipment) + " Inlet");
    }
    EXPECT_EQ(tree.first->findAttribute(cabinets / "Rack A01", false), nullptr);
}

TEST(ExportModelCommand, WritesTheSameDocumentToAFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString output = dir.filePath("sample.xml");
    const ToolRun run = confluxtool({"export-model", samplePath, "-o", output});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(readFile(output), readFile(goldenPath));

    const ToolRun toStdout = confluxtool({"export-model", samplePath});
    EXPECT_EQ(toStdout.status, 0) << toStdout.err.toStdString();
    EXPECT_EQ(toStdout.out, readFile(goldenPath));
}

TEST(ExportModelCommand, DocumentsEntityTypes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const ToolRun one = confluxtool({"export-model", samplePath, "--document", "Vent"});
    ASSERT_EQ(one.status, 0) << one.err.toStdString();
    QXmlStreamReader reader(one.out);
    reader.readNextStartElement();
    EXPECT_EQ(reader.name().toString(), "Entity");
    EXPECT_EQ(reader.attributes().value("label").toString(), "Vent");

    const ToolRun two = confluxtool(
        {"export-model", samplePath, "-o", dir.filePath("docs"), "--document", "Vent", "Cabinet"});
    ASSERT_EQ(two.status, 0) << two.err.toStdString();
    EXPECT_FALSE(elementCounts(readFile(dir.filePath("docs/Vent.xml"))).empty());
    EXPECT_FALSE(elementCounts(readFile(dir.filePath("docs/Cabinet.xml"))).empty());
}

TEST(ExportModelCommand, BadCommandLinesAndFilesFail)
{
    struct Row
    {
        QStringList arguments;
        int status;
        const char* message;
    };
    const Row rows[] = {
        {{"export-model"}, 2, "confluxtool export-model: a project file is needed"},
        {{"export-model", samplePath, "--document"}, 2, "--document needs at least one entity type"},
        {{"export-model", samplePath, "-o"}, 2, "-o needs a file name"},
        {{"export-model", samplePath, "--bogus"}, 2, "unknown option '--bogus'"},
        {{"export-model", samplePath, "--document", "No Such Type"}, 1, "unknown entity type 'No Such Type'"},
        {{"export-model", "/nonexistent/project.json"}, 1, "/nonexistent/project.json"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const ToolRun run = confluxtool(row.arguments);
        EXPECT_EQ(run.status, row.status);
        EXPECT_NE(run.err.indexOf(row.message), -1) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
}
