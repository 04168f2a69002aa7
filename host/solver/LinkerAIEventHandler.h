#pragma once
#include "host/solver/AIEventHandlerOptions.h"
#include "host/solver/LinkerBase.h"
#include "host/solver/LinkerConfluxDLL.h"

namespace Conflux
{
/// The AI linker: the solver's handler library that runs the project's AI models as functors on
/// exchange attributes. Also the base of the AI-with-Python linker.
///
/// The linker keeps every functor's definition inside its own definitions collection: functors
/// and definitions handed over are re-pointed at the linker's copies, so they never point into a
/// collection that the caller later destroys. A linker read from a stream carries its functors
/// with unbound attribute references (their paths are kept).
class LinkerAIEventHandler
    : public LinkerBase<LinkerAIEventHandler, LinkerType::AIEventHandler, LinkerConfluxDLL>
{
public:
    explicit LinkerAIEventHandler(const AIEventHandlerOptions& options = {});
    LinkerAIEventHandler(const LinkerAIEventHandler& other);
    LinkerAIEventHandler& operator=(const LinkerAIEventHandler& other);
    LinkerAIEventHandler(LinkerAIEventHandler&&) noexcept = default;
    LinkerAIEventHandler& operator=(LinkerAIEventHandler&&) noexcept = default;
    ~LinkerAIEventHandler() override;

    /// The name of the event handler function in the library.
    static std::string getEventHandler();

    const AIEventHandlerOptions& getOptions() const { return m_options; }
    /// Replaces the functors; a definition they use that the linker does not hold yet is copied in.
    void setFunctors(const std::vector<AIFunctor>& functors);
    /// Replaces the definitions; the functors are re-pointed at the equal ones (a definition a
    /// functor uses and `definitions` lacks is kept).
    void setDefinitions(const AIModuleDefinitionCollection& definitions);

    /// Same update settings, functors (names, attribute paths, equal definitions) and definitions.
    bool isEqual(const LinkerAIEventHandler& other) const;
    void toStream(FileSystem::DataOStream& stream) const;
    void fromStream(FileSystem::DataIStream& stream);

private:
    /// Points each functor's definition into `definitions`, copying in those it lacks.
    static void adopt(std::vector<AIFunctor>& functors, AIModuleDefinitionCollection& definitions);

    AIEventHandlerOptions m_options;
};
} // namespace Conflux
