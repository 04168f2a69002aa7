#include "host/solver/ConfluxCntrl.h"

#include "host/solver/ExchangeSession.h"
#include "host/solver/SolveTimeLinkers.h"

#include "host/filesystem/DataIStream.h"
#include "host/filesystem/DataOStream.h"
#include "host/filesystem/TextDataIStream.h"
#include "host/filesystem/TextDataOStream.h"
#include "host/projectdata/ProjectStore.h"

#include <QFile>
#include <QSaveFile>

#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace CFDSolver
{
ConfluxCntrl::ConfluxCntrl() = default;
ConfluxCntrl::~ConfluxCntrl() = default;
ConfluxCntrl::ConfluxCntrl(ConfluxCntrl&&) noexcept = default;
ConfluxCntrl& ConfluxCntrl::operator=(ConfluxCntrl&&) noexcept = default;

void ConfluxCntrl::addEventHandler(const std::string& library, const std::string& handler)
{
    m_eventHandlers.push_back({library, handler});
}

bool ConfluxCntrl::operator==(const ConfluxCntrl& other) const
{
    return m_active == other.m_active && m_pythonRequired == other.m_pythonRequired &&
           m_logLevel == other.m_logLevel && m_triggerOnCFDGeneration == other.m_triggerOnCFDGeneration &&
           m_documentStamp == other.m_documentStamp && m_linkers == other.m_linkers &&
           m_eventHandlers == other.m_eventHandlers;
}

void ConfluxCntrl::write(FileSystem::DataOStream& stream) const
{
    stream.openTag("ConfluxCntrl");
    stream.field("active", m_active);
    stream.field("pythonRequired", m_pythonRequired);
    stream.field("logLevel", static_cast<std::int32_t>(m_logLevel));
    stream.field("triggerOnCFDGenerationEvents", m_triggerOnCFDGeneration);
    stream.field("documentStamp", m_documentStamp);
    stream.openTag("EventHandlers");
    stream.field("count", static_cast<std::uint32_t>(m_eventHandlers.size()));
    for (const ConfluxEventHandler& handler : m_eventHandlers)
    {
        stream.openTag("EventHandler");
        stream.field("library", handler.library);
        stream.field("handler", handler.handler);
        stream.closeTag("EventHandler");
    }
    stream.closeTag("EventHandlers");
    m_linkers.write(stream);
    stream.closeTag("ConfluxCntrl");
}

void ConfluxCntrl::read(FileSystem::DataIStream& stream)
{
    bool active = false;
    bool pythonRequired = false;
    std::int32_t logLevel = 0;
    bool trigger = false;
    std::string documentStamp;
    std::uint32_t count = 0;
    stream.openTag("ConfluxCntrl");
    stream.field("active", active);
    stream.field("pythonRequired", pythonRequired);
    stream.field("logLevel", logLevel);
    stream.field("triggerOnCFDGenerationEvents", trigger);
    stream.field("documentStamp", documentStamp);
    stream.openTag("EventHandlers");
    stream.field("count", count);
    // A handler takes at least two string lengths.
    if (!stream.checkCount(count, 16))
        return;
    std::vector<ConfluxEventHandler> handlers;
    for (std::uint32_t i = 0; i < count && stream.good(); ++i)
    {
        ConfluxEventHandler handler;
        stream.openTag("EventHandler");
        stream.field("library", handler.library);
        stream.field("handler", handler.handler);
        stream.closeTag("EventHandler");
        handlers.push_back(std::move(handler));
    }
    stream.closeTag("EventHandlers");
    Conflux::LinkerCollection linkers;
    if (stream.good())
        linkers.read(stream);
    stream.closeTag("ConfluxCntrl");
    if (stream.fail())
        return;
    m_active = active;
    m_pythonRequired = pythonRequired;
    m_logLevel = logLevel;
    m_triggerOnCFDGeneration = trigger;
    m_documentStamp = std::move(documentStamp);
    m_eventHandlers = std::move(handlers);
    m_linkers = std::move(linkers);
}

std::string ConfluxCntrl::stagedDocument(const ProjectData::ProjectStore& store)
{
    return store.getConfluxDoc() + ".new";
}

namespace
{
std::filesystem::path fileSystemPath(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

/// The stamp of the file at `path`, read in pieces; empty when it cannot be read.
std::string fileStamp(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(ConfluxCntrl::stampAlgorithm);
    if (!hash.addData(&file))
        return {};
    return hash.result().toHex().toStdString();
}
} // namespace

void ConfluxCntrl::Write(const ProjectData::ProjectStore& store) const
{
    const std::string path = store.getConfluxControlFile();
    std::ostringstream text;
    FileSystem::TextDataOStream stream(text);
    write(stream);
    if (stream.fail())
        throw std::runtime_error("Cannot write the exchange control " + path + ": " + stream.errorMessage());
    const std::string content = text.str();

    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("Cannot write the exchange control " + path + ": " +
                                 file.errorString().toStdString());
    if (file.write(content.data(), static_cast<qint64>(content.size())) !=
        static_cast<qint64>(content.size()))
        throw std::runtime_error("Cannot write the exchange control " + path + ": " +
                                 file.errorString().toStdString());

    // The pair changes in an order that never shows a document beside a control of another
    // generation: the old control goes, the new document lands, the new control lands last.
    const std::string document = store.getConfluxDoc();
    const std::string staged = stagedDocument(store);
    std::error_code error;
    const bool landing = !m_documentStamp.empty() && std::filesystem::exists(fileSystemPath(staged), error);
    if (landing || m_documentStamp.empty())
    {
        std::filesystem::remove(fileSystemPath(path), error);
        if (error)
            throw std::runtime_error("Cannot replace the exchange control " + path + ": " + error.message());
    }
    if (landing)
    {
        std::filesystem::rename(fileSystemPath(staged), fileSystemPath(document), error);
        if (error)
            throw std::runtime_error("Cannot put the exchange document " + document +
                                     " in place: " + error.message());
    }
    else if (m_documentStamp.empty())
    {
        // A control without a document must not sit beside an earlier one.
        std::filesystem::remove(fileSystemPath(document), error);
        std::filesystem::remove(fileSystemPath(staged), error);
    }
    if (!file.commit())
        throw std::runtime_error("Cannot write the exchange control " + path + ": " +
                                 file.errorString().toStdString());
}

ConfluxCntrl ConfluxCntrl::Read(const ProjectData::ProjectStore& store)
{
    const std::string path = store.getConfluxControlFile();
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot read the exchange control " + path + ": " +
                                 file.errorString().toStdString());
    const QByteArray bytes = file.readAll();
    std::istringstream text(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    FileSystem::TextDataIStream stream(text);
    ConfluxCntrl control;
    control.read(stream);
    if (stream.fail())
        throw std::runtime_error("Cannot read the exchange control " + path + ": " + stream.errorMessage());
    if (!control.m_documentStamp.empty() && fileStamp(store.getConfluxDoc()) != control.m_documentStamp)
        throw std::runtime_error("Cannot read the exchange control " + path + ": the exchange document " +
                                 store.getConfluxDoc() + " is not the one it was written with");
    return control;
}

void ConfluxCntrl::initialize()
{
    if (!m_active)
        return;
    m_running.clear();
    if (m_session != nullptr)
        m_running = startHandlers(m_linkers, m_eventHandlers);
    for (const Conflux::LinkerContainer& linker : m_linkers)
        linker->initialize();
    m_initialized = true;
}

void ConfluxCntrl::triggerDLLEvent(TesseraSDK::EventType type, bool /*wait*/)
{
    if (!m_active)
        return;
    if (!m_initialized)
        throw std::runtime_error("Exchange event " + std::to_string(static_cast<int>(type)) +
                                 " triggered before the exchange control was initialised");
    if (type == TesseraSDK::EventType::CFDGeneration && !m_triggerOnCFDGeneration)
        return;
    for (std::size_t i = 0; i < m_eventHandlers.size(); ++i)
    {
        const ConfluxEventHandler& handler = m_eventHandlers[i];
        m_firedEvents.push_back({type, handler.library, handler.handler});
        if (m_session != nullptr && i < m_running.size())
            m_running[i]->call(type, *m_session);
    }
}

void ConfluxCntrl::terminate()
{
    for (const Conflux::LinkerContainer& linker : m_linkers)
        linker->terminate();
    m_running.clear();
    m_initialized = false;
}
} // namespace CFDSolver
