#include "host/solver/UserLibraryHandler.h"

#include "host/filesystem/OperatingSystem.h"
#include "host/solver/LinkerUserDefinedDLL.h"

#include "src/model/Attribute.h"
#include "src/model/ControllerAccessObserver.h"
#include "src/model/Entity.h"
#include "src/model/EntityCollection.h"

#include <QFileInfo>

#include <stdexcept>

namespace CFDSolver
{
namespace
{
/// Passes a controller's SDK reads and writes on to the session.
class SessionObserver : public Conflux::Model::ControllerAccessObserver
{
public:
    SessionObserver(ExchangeSession& session, const std::string& controller)
        : m_session(session), m_controller(controller)
    {
    }
    void read(const Conflux::Model::Attribute&) override { m_session.valuesRead(m_controller, 1); }
    void checkWrite(const Conflux::Model::Attribute& attribute, double value) override
    {
        if (const ExchangeValues::Value* known = m_session.values().find(&attribute))
            m_session.checkRange(*known, value);
    }
    void written(const Conflux::Model::Attribute& attribute) override
    {
        if (const ExchangeValues::Value* known = m_session.values().find(&attribute))
            m_session.valueWritten(m_controller, *known);
    }
    void refused(const Conflux::Model::Attribute& attribute, const std::string& reason) override
    {
        const ExchangeValues::Value* known = m_session.values().find(&attribute);
        m_session.writeRefused(m_controller, known ? known->path : attribute.getAttributePath(true).toString(),
                               reason);
    }

private:
    ExchangeSession& m_session;
    const std::string& m_controller;
};
} // namespace

UserLibraryHandler::UserLibraryHandler(const Conflux::LinkerUserDefinedDLL& linker, const std::string& handler)
    : m_name(linker.getName()), m_handlerName(handler),
      m_file(linker.getLibraryName(Utilities::currentOperatingSystem()))
{
    const std::string what = "Controller library '" + m_name + "'";
    if (m_file.empty())
        throw std::runtime_error(what + ": the project names no library file for this platform");
    if (!QFileInfo::exists(QString::fromStdString(m_file)))
        throw std::runtime_error(what + ": cannot load " + m_file + ": the file does not exist");
    m_library.setFileName(QString::fromStdString(m_file));
    if (!m_library.load())
        throw std::runtime_error(what + ": cannot load " + m_file + ": " + m_library.errorString().toStdString());
    m_handler = reinterpret_cast<TesseraSDK::ControllerEventHandler>(m_library.resolve(handler.c_str()));
    if (m_handler == nullptr)
    {
        m_library.unload();
        throw std::runtime_error(what + ": " + m_file + " has no event handler '" + handler + "'");
    }
}

UserLibraryHandler::~UserLibraryHandler()
{
    m_library.unload();
}

void UserLibraryHandler::call(TesseraSDK::EventType event, ExchangeSession& session)
{
    Conflux::Model::Entity* root = session.values().root();
    auto* model = root != nullptr ? dynamic_cast<TesseraSDK::Model::IEntity*>(root->getSDKInterface()) : nullptr;
    SessionObserver observer(session, m_name);
    std::int32_t status = 0;
    {
        const Conflux::Model::ControllerAccessObserver::Scope scope(&observer);
        status = m_handler(static_cast<std::int32_t>(event), model);
    }
    if (status != 0)
        throw std::runtime_error("Controller library '" + m_name + "' (" + m_file + "), handler '" + m_handlerName +
                                 "', iteration " + std::to_string(session.iteration()) + ": returned " +
                                 std::to_string(status));
}
} // namespace CFDSolver
