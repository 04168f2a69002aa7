#include "src/exchange/ConfluxRunner.h"

#include "src/exchange/ConfluxGenerator.h"

#include "host/entitymodel/EntityModelConstantTr.h"
#include "host/services/ToolProgress.h"
#include "host/solver/Project.h"

#include <memory>

namespace Conflux
{
ConfluxRunner::ConfluxRunner(Tools::ToolProgress* progress, const std::string& storeDirectory,
                             const std::string& reserved, const std::string& projectName,
                             EntityModel::Entity* root, CFDSolver::SolutionType solutionType)
    : SafeQThread(nullptr), m_progress(progress), m_storeDirectory(storeDirectory), m_reserved(reserved),
      m_projectName(projectName), m_root(root), m_solutionType(solutionType)
{
    setObjectName("ConfluxRunner");
}

ConfluxRunner::~ConfluxRunner()
{
    stopAndWait();
}

void ConfluxRunner::message(const char* text) const
{
    if (m_progress)
        m_progress->message(EntityModel::EntityModelConstantTr::tr(text, nullptr, -1).toStdString());
}

void ConfluxRunner::do_run()
{
    try
    {
        auto project = std::make_unique<CFDSolver::Project>(m_storeDirectory, m_projectName, std::string());
        ConfluxGenerator generator;
        generator.setRootEntity(m_root);
        generator.attachProgressInterface(m_progress);

        message("Conflux generation...");
        generator.updateProject(project.get());
        if (m_progress)
            m_progress->setProgress(0);

        const auto generated = generator.generate(project.get(), m_solutionType);

        message("Conflux processing conflux generation events...");
        generator.processEvents(project.get());

        if (m_progress)
        {
            if (m_progress->isCancelled())
                message("Conflux generation cancelled");
            else if (generated.first)
                message("Conflux generation complete");
            else
                message("Conflux generation failed");
        }
    }
    catch (const std::exception& error)
    {
        if (m_progress)
            m_progress->error(error.what());
    }
    catch (const char* text)
    {
        // Some failures are thrown as C strings (the module generator's "Empty ONNX Model"); their
        // text is the message the user needs.
        if (m_progress)
            m_progress->error(text ? text : "Unhandled Exception");
    }
    catch (...)
    {
        if (m_progress)
            m_progress->error("Unhandled Exception");
    }
    if (m_progress)
        m_progress->finished(true);
}
} // namespace Conflux
