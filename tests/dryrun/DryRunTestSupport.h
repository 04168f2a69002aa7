#pragma once
// The sample data centre as the current project, with a temporary folder for stores, logs, traces
// and controllers, and the per-iteration log read back.
#include "src/dryrun/DryRun.h"

#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace DryRunTest
{
using namespace EntityModel;

inline const std::string rackInlet = "Data Hall 1.Rack A01.Simulation Results.Mean Inlet Temperature";
inline const std::string crahSupply = "Data Hall 1.CRAH 1.Supply Temperature";
inline const std::string crahFlow = "Data Hall 1.CRAH 1.Flow Rate";
inline const std::string serverInletFlow =
    "Data Hall 1.Rack A01.Server A01-1.Server A01-1 Inlet.Simulation Results.Temperature Net.Mean Temperature Net";
inline const std::string serverPower = "Data Hall 1.Rack A01.Server A01-1.Power.Power Definition.Typical Power";
inline const std::string exhaustTemperature = "Data Hall 1.Rack A01.Server A01-1.Server A01-1 Exhaust.Temperature";
inline const std::string exhaustFlow = "Data Hall 1.Rack A01.Server A01-1.Server A01-1 Exhaust.Flow Rate";

/// The sample project as the editor's current project.
class SampleProject
{
public:
    SampleProject() : project(ProjectFile::load(CONFLUX_EXAMPLES_DIR "/sample-datacentre.json"))
    {
        EntityEditor::setCurrentProject(project.get());
        root = project->getRootEntity();
    }
    ~SampleProject() { EntityEditor::setCurrentProject(nullptr); }
    SampleProject(const SampleProject&) = delete;
    SampleProject& operator=(const SampleProject&) = delete;

    Entity* entity(const std::string& name) const
    {
        std::vector<Entity*> all;
        root->getOwnedChildEntities(all);
        for (Entity* e : all)
            if (e->getName() == name)
                return e;
        return nullptr;
    }
    void setControl(const std::string& path, const EditValue& value) const
    {
        EntityEditor::setValue(EntityFetcher::getSolutionControl(root), path, value);
    }
    /// The sample's Python module "controller" with this source, its handler on_iteration selected.
    void pythonController(const std::string& source) const
    {
        Entity* module = entity("controller");
        EntityEditor::setValue(module, "Source", "Script");
        EntityEditor::setValue(module, "Python Script", source);
    }
    void aiModelsOff() const { setControl("AI Model Control.Active", "No"); }

    std::string file(const std::string& name) const { return folder.path().toStdString() + "/" + name; }
    std::string write(const std::string& name, const std::string& text) const
    {
        std::ofstream(file(name)) << text;
        return file(name);
    }
    Conflux::DryRunOptions options(int iterations) const
    {
        Conflux::DryRunOptions result;
        result.iterations = iterations;
        result.storeDirectory = file("store");
        result.projectName = "sample";
        result.logFile = file("log.csv");
        return result;
    }
    Conflux::DryRunSummary run(Conflux::DryRunOptions options, Tools::ToolProgress* progress = nullptr) const
    {
        return Conflux::DryRun(root, std::move(options)).run(progress);
    }

    QTemporaryDir folder;
    std::unique_ptr<Project> project;
    Entity* root = nullptr;
};

/// A log read back: its header and rows of text fields (no field of the sample's logs is quoted).
struct Log
{
    QStringList header;
    std::vector<QStringList> rows;

    explicit Log(const std::string& file)
    {
        QFile in(QString::fromStdString(file));
        if (!in.open(QIODevice::ReadOnly))
            return;
        const QStringList lines = QString::fromUtf8(in.readAll()).split('\n', Qt::SkipEmptyParts);
        if (lines.isEmpty())
            return;
        header = lines.front().split(',');
        for (int i = 1; i < lines.size(); ++i)
            rows.push_back(lines[i].split(','));
    }
    /// The column whose header is the path, with or without its unit; -1 when none is.
    int column(const std::string& path) const
    {
        const QString name = QString::fromStdString(path);
        for (int i = 0; i < header.size(); ++i)
            if (header[i] == name || header[i].startsWith(name + " ("))
                return i;
        return -1;
    }
    double number(std::size_t row, const std::string& path) const { return rows.at(row).at(column(path)).toDouble(); }
    std::string text(std::size_t row, const std::string& header) const
    {
        const int index = this->header.indexOf(QString::fromStdString(header));
        return index < 0 ? "<no column>" : rows.at(row).at(index).toStdString();
    }
};
} // namespace DryRunTest
