#pragma once
#include "host/solver/ConfluxEventRecords.h"
#include "host/solver/LinkerCollection.h"
#include "src/model/EntityCollection.h"

#include <QCryptographicHash>

#include <memory>
#include <string>
#include <vector>

namespace FileSystem
{
class DataOStream;
class DataIStream;
} // namespace FileSystem

namespace ProjectData
{
class ProjectStore;
}

namespace CFDSolver
{
class ExchangeSession;
class SolveTimeHandler;

/// A solver project's exchange control: whether the exchange runs, its linkers and the event
/// handlers the solver calls, and the exchange model the controllers see.
///
/// The control is written into the project store as a readable text file (`Write`) and read back
/// (`Read`). The exchange document and the control form a pair: the control names the stamp of
/// the document written with it, the document lands (from its staging file) just before the
/// control, and no earlier control is left beside a new document in between. `initialize`, `triggerDLLEvent`
/// and `terminate` stand in for a solve: the stand-in loads no library and records each handler call instead
/// (`getFiredEvents`).
class ConfluxCntrl
{
public:
    /// Log levels of the exchange libraries.
    static constexpr int logErrorsOnly = 1;
    static constexpr int logDefault = 2;
    static constexpr int logAll = 4;

    ConfluxCntrl();
    ~ConfluxCntrl();
    ConfluxCntrl(ConfluxCntrl&&) noexcept;
    ConfluxCntrl& operator=(ConfluxCntrl&&) noexcept;

    void active(bool on) { m_active = on; }
    bool isActive() const { return m_active; }

    /// Whether a linker or AI module needs the solver's Python interpreter.
    void pythonRequired(bool required) { m_pythonRequired = required; }
    bool pythonRequired() const { return m_pythonRequired; }

    /// 1 errors only ... 4 all; `logDefault` until set.
    void logLevel(int level) { m_logLevel = level; }
    int logLevel() const { return m_logLevel; }

    Conflux::LinkerCollection& getLinkers() { return m_linkers; }
    const Conflux::LinkerCollection& getLinkers() const { return m_linkers; }

    void clearEventHandlers() { m_eventHandlers.clear(); }
    /// Registers a handler; registering the same pair twice calls it twice.
    void addEventHandler(const std::string& library, const std::string& handler);
    const std::vector<ConfluxEventHandler>& getEventHandlers() const { return m_eventHandlers; }

    /// Whether the handlers are called on CFD-generation events (other events always call them).
    void setTriggerOnCFDgenerationEvents(bool trigger) { m_triggerOnCFDGeneration = trigger; }
    bool getTriggerOnCFDgenerationEvents() const { return m_triggerOnCFDGeneration; }

    /// The stamp (see `stampAlgorithm`) of the exchange document written with this control; empty
    /// when there is none.
    void setDocumentStamp(const std::string& stamp) { m_documentStamp = stamp; }
    const std::string& documentStamp() const { return m_documentStamp; }
    /// How a document's stamp is made from its bytes: a hexadecimal digest.
    static constexpr QCryptographicHash::Algorithm stampAlgorithm = QCryptographicHash::Sha256;
    /// Where a new exchange document waits until `Write` puts it in place beside its control.
    static std::string stagedDocument(const ProjectData::ProjectStore& store);

    /// The exchange model; the control owns it. Assign a new collection to replace it.
    Conflux::Model::EntityCollection& getModelCollection() { return m_model; }
    const Conflux::Model::EntityCollection& getModelCollection() const { return m_model; }

    /// Writes the settings, linkers and event handlers to the store's control file (readable
    /// text), replacing it whole or not at all. The exchange model is not part of it (the
    /// exchange document holds it). With a document stamp and a staged document, the earlier
    /// control is removed, the staged document put in place and the control written last;
    /// without a stamp any earlier document is removed. Throws std::runtime_error naming the file
    /// on failure.
    void Write(const ProjectData::ProjectStore& store) const;
    /// The control written into `store`; throws std::runtime_error naming the file when it is
    /// missing, unreadable or not a written control (the message says where reading stopped), or
    /// when the exchange document beside it is not the one it names.
    static ConfluxCntrl Read(const ProjectData::ProjectStore& store);

    /// The record `Write` puts in the file, in any stream encoding.
    void write(FileSystem::DataOStream& stream) const;
    /// Reads a record of `write`; on a failed stream the control is left unchanged.
    void read(FileSystem::DataIStream& stream);

    /// The solve the controllers run in from the next `initialize` on (null: none, only record
    /// the calls). Not owned; it must outlive the solve.
    void attachSession(ExchangeSession* session) { m_session = session; }
    /// Starts a solve: initialises every linker. With a session, loads the controller of every
    /// registered handler first and throws std::runtime_error naming the controller, its file and
    /// the reason when one cannot be loaded (nothing is left initialised then). An inactive
    /// control does nothing.
    void initialize();
    /// Calls every registered handler with `type` and records each call. Nothing happens on an
    /// inactive control, nor for a CFD-generation event while the trigger is off. The stand-in
    /// calls the handlers in turn on the caller's thread, so it has finished either way when it
    /// returns, whatever `wait` asks. Throws std::runtime_error when an active control was not
    /// initialised, and a handler's failure (the handlers after it are not called).
    void triggerDLLEvent(TesseraSDK::EventType type, bool wait);
    /// Ends a solve: terminates every linker and unloads the controllers.
    void terminate();
    bool isInitialized() const { return m_initialized; }
    /// The handler calls made since the control was made, oldest first.
    const std::vector<ConfluxFiredEvent>& getFiredEvents() const { return m_firedEvents; }

    /// Same settings, linkers and event handlers; the exchange model and the run state are not
    /// compared.
    bool operator==(const ConfluxCntrl& other) const;

private:
    bool m_active = false;
    bool m_pythonRequired = false;
    int m_logLevel = logDefault;
    bool m_triggerOnCFDGeneration = false;
    std::string m_documentStamp;
    Conflux::LinkerCollection m_linkers;
    std::vector<ConfluxEventHandler> m_eventHandlers;
    Conflux::Model::EntityCollection m_model;
    bool m_initialized = false;
    std::vector<ConfluxFiredEvent> m_firedEvents;
    ExchangeSession* m_session = nullptr;
    /// The handlers of a solve with a session, in registration order.
    std::vector<std::shared_ptr<SolveTimeHandler>> m_running;
};
} // namespace CFDSolver
