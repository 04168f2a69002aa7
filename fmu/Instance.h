#pragma once
// One instance of an exported FMU, shared by the FMI 3.0 and 2.0 entry points: its life-cycle
// state, the values by value reference, and the messages it reports through the importer's logger.
#include "fmu/SurrogateModel.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ConfluxFmu
{
enum class Status : int
{
    OK = 0,
    Warning = 1,
    Error = 2,
};

/// The co-simulation life cycle: instantiated, initialisation mode, step mode, terminated.
enum class Mode : int
{
    Instantiated = 0,
    Initialization = 1,
    Step = 2,
    Terminated = 3,
};

/// How a caller accesses values: FMI 3.0 checks the declared type, FMI 2.0 has only Real.
enum class Access : int
{
    Float64 = 0,
    Float32 = 1,
    Real = 2,
};

/// An instance: no state outside it, so any number may run at once on any threads (each used by
/// one thread at a time, as FMI requires of importers). Value references: 0 is time, then the
/// inputs, the outputs and, when the model computes them, the energy and mass imbalance.
class Instance
{
public:
    /// category, message
    using Logger = std::function<void(Status, const char*, const std::string&)>;

    /// Reads network.txt from the resources folder and checks the token; throws
    /// std::runtime_error saying what is wrong (the caller logs it).
    Instance(std::string name, const std::string& token, const std::string& resourceFolder, Logger logger,
             bool loggingOn);

    const std::string& name() const { return m_name; }
    Mode mode() const { return m_mode; }
    double time() const { return m_time; }
    const SurrogateModel& model() const { return *m_model; }

    Status setDebugLogging(const char* function, bool loggingOn, size_t categoryCount, const char* const categories[]);
    Status setStartTime(const char* function, double startTime);
    Status enterInitializationMode(const char* function, double startTime, bool startTimeGiven);
    Status exitInitializationMode(const char* function);
    Status doStep(const char* function, double currentTime, double stepSize);
    Status terminate(const char* function);
    Status reset(const char* function);

    Status getReal(const char* function, Access access, const std::uint32_t* references, size_t count,
                   double* doubles, float* floats, size_t valueCount);
    Status setReal(const char* function, Access access, const std::uint32_t* references, size_t count,
                   const double* doubles, const float* floats, size_t valueCount);

    /// Logs that `function` is not offered by this FMU and answers Error.
    Status unsupported(const char* function);
    /// Logs an error about `function` and answers Error.
    Status fail(const char* function, const std::string& message);
    /// Logs a call when debug logging is on.
    void trace(const char* function);

    /// The number of value references and each one's name, for messages and tests.
    size_t variableCount() const { return m_variables.size(); }
    const std::string& variableName(std::uint32_t reference) const { return m_variables[reference].name; }

private:
    enum class Role : int
    {
        Time = 0,
        Input = 1,
        Output = 2,
    };
    struct Variable
    {
        std::string name;
        Role role;
        bool float32;
        int index; // input index, or result index
    };

    Status checkMode(const char* function, std::initializer_list<Mode> allowed, const char* what);
    std::string describe(std::uint32_t reference) const;
    bool update(const char* function);
    void log(Status status, const std::string& message);

    std::string m_name;
    Logger m_logger;
    bool m_loggingOn = false;
    std::unique_ptr<const SurrogateModel> m_model;
    std::unique_ptr<SurrogateModel::Workspace> m_workspace;
    std::vector<Variable> m_variables;
    std::vector<double> m_inputs;
    std::vector<double> m_results;
    bool m_dirty = true;
    Mode m_mode = Mode::Instantiated;
    double m_startTime = 0.0;
    double m_time = 0.0;
};

/// The text of a file, at most MaxNetworkFileBytes; throws std::runtime_error naming the path.
std::string readResourceFile(const std::string& path);
/// The local path of a file:// URI (percent-decoded); throws std::runtime_error for other schemes.
std::string pathFromFileUri(const std::string& uri);
} // namespace ConfluxFmu
