#include "fmu/Instance.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace ConfluxFmu
{
namespace
{
const char* const ResourceFileName = "network.txt";

const char* modeName(Mode mode)
{
    switch (mode)
    {
    case Mode::Instantiated:
        return "instantiated";
    case Mode::Initialization:
        return "initialization mode";
    case Mode::Step:
        return "step mode";
    case Mode::Terminated:
        return "terminated";
    }
    return "unknown";
}

std::string text(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

std::string readResourceFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot open the network file \"" + path + "\"");
    std::string content;
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0)
    {
        content.append(buffer, static_cast<size_t>(file.gcount()));
        if (content.size() > MaxNetworkFileBytes)
            throw std::runtime_error("the network file \"" + path + "\" is larger than " +
                                     std::to_string(MaxNetworkFileBytes) + " bytes");
    }
    if (file.bad())
        throw std::runtime_error("cannot read the network file \"" + path + "\"");
    return content;
}

std::string pathFromFileUri(const std::string& uri)
{
    const std::string scheme = "file:";
    if (uri.compare(0, scheme.size(), scheme) != 0)
        throw std::runtime_error("the resource location \"" + uri + "\" is not a file: URI");
    std::string rest = uri.substr(scheme.size());
    if (rest.compare(0, 2, "//") == 0)
    {
        // file://host/path: only an empty host or localhost names this machine.
        const size_t slash = rest.find('/', 2);
        const std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        if (!host.empty() && host != "localhost")
            throw std::runtime_error("the resource location \"" + uri + "\" names another host, \"" + host + "\"");
        rest = slash == std::string::npos ? "/" : rest.substr(slash);
    }
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i)
    {
        if (rest[i] == '%')
        {
            const int high = i + 2 < rest.size() ? hexDigit(rest[i + 1]) : -1;
            const int low = i + 2 < rest.size() ? hexDigit(rest[i + 2]) : -1;
            if (high < 0 || low < 0 || (high == 0 && low == 0))
                throw std::runtime_error("the resource location \"" + uri + "\" has a bad escape at character " +
                                         std::to_string(i + 1));
            path += static_cast<char>(high * 16 + low);
            i += 2;
        }
        else
            path += rest[i];
    }
    return path;
}

Instance::Instance(std::string name, const std::string& token, const std::string& resourceFolder, Logger logger,
                   bool loggingOn)
    : m_name(std::move(name)), m_logger(std::move(logger)), m_loggingOn(loggingOn)
{
    std::string path = resourceFolder;
    if (path.empty())
        throw std::runtime_error("no resource folder was given");
    if (path.back() != '/')
        path += '/';
    path += ResourceFileName;
    const auto description = parseNetworkDescription(readResourceFile(path));
    if (token != description.token)
        throw std::runtime_error("the instantiation token \"" + token + "\" is not this FMU's, \"" +
                                 description.token + "\"");
    m_model = std::make_unique<const SurrogateModel>(description);
    m_workspace = std::make_unique<SurrogateModel::Workspace>(*m_model);
    const bool float32 = description.singlePrecision;
    m_variables.push_back({"time", Role::Time, false, 0});
    for (size_t i = 0; i < description.inputs.size(); ++i)
        m_variables.push_back({description.inputs[i].name, Role::Input, float32, static_cast<int>(i)});
    for (size_t o = 0; o < description.outputs.size(); ++o)
        m_variables.push_back({description.outputs[o].name, Role::Output, float32, static_cast<int>(o)});
    if (m_model->hasImbalance())
    {
        const int at = m_model->outputCount();
        m_variables.push_back({"energy imbalance", Role::Output, false, at});
        m_variables.push_back({"mass imbalance", Role::Output, false, at + 1});
    }
    m_results.assign(static_cast<size_t>(m_model->resultCount()), 0.0);
    m_inputs.resize(description.inputs.size());
    for (size_t i = 0; i < description.inputs.size(); ++i)
        m_inputs[i] = description.inputs[i].start;
}

void Instance::log(Status status, const std::string& message)
{
    if (!m_logger)
        return;
    const char* category = "logCalls";
    switch (status)
    {
    case Status::OK:
        break;
    case Status::Warning:
        category = "logStatusWarning";
        break;
    case Status::Error:
        category = "logStatusError";
        break;
    }
    m_logger(status, category, message);
}

void Instance::trace(const char* function)
{
    if (m_loggingOn)
        log(Status::OK, std::string(function) + " called in " + modeName(m_mode));
}

Status Instance::fail(const char* function, const std::string& message)
{
    log(Status::Error, std::string(function) + ": " + message);
    return Status::Error;
}

Status Instance::unsupported(const char* function)
{
    return fail(function, "not supported: this FMU is a co-simulation model of an algebraic network, without "
                          "states, events, clocks, derivatives or saved FMU states");
}

Status Instance::checkMode(const char* function, std::initializer_list<Mode> allowed, const char* what)
{
    trace(function);
    for (Mode mode : allowed)
        if (mode == m_mode)
            return Status::OK;
    return fail(function, std::string("called while the instance is ") + modeName(m_mode) + "; it is allowed " +
                              what);
}

std::string Instance::describe(std::uint32_t reference) const
{
    const auto& variable = m_variables[reference];
    const char* role = "time";
    switch (variable.role)
    {
    case Role::Time:
        break;
    case Role::Input:
        role = "input";
        break;
    case Role::Output:
        role = "output";
        break;
    }
    if (variable.role == Role::Time)
        return "the independent variable time (value reference 0)";
    return std::string(role) + " '" + variable.name + "' (value reference " + std::to_string(reference) + ")";
}

Status Instance::setDebugLogging(const char* function, bool loggingOn, size_t categoryCount,
                                 const char* const categories[])
{
    if (categoryCount > 0 && !categories)
        return fail(function, std::to_string(categoryCount) + " categories announced but none given");
    for (size_t i = 0; i < categoryCount; ++i)
    {
        const std::string category = categories[i] ? categories[i] : "";
        if (category != "logCalls" && category != "logStatusWarning" && category != "logStatusError")
            return fail(function, "unknown log category \"" + category +
                                      "\" (logCalls, logStatusWarning and logStatusError are known)");
    }
    m_loggingOn = loggingOn;
    trace(function);
    return Status::OK;
}

Status Instance::setStartTime(const char* function, double startTime)
{
    if (checkMode(function, {Mode::Instantiated}, "only before initialization") != Status::OK)
        return Status::Error;
    if (!std::isfinite(startTime))
        return fail(function, "the start time " + text(startTime) + " is not a finite number");
    m_startTime = startTime;
    m_time = startTime;
    return Status::OK;
}

Status Instance::enterInitializationMode(const char* function, double startTime, bool startTimeGiven)
{
    if (checkMode(function, {Mode::Instantiated}, "only once, after instantiation or reset") != Status::OK)
        return Status::Error;
    if (startTimeGiven)
    {
        if (!std::isfinite(startTime))
            return fail(function, "the start time " + text(startTime) + " is not a finite number");
        m_startTime = startTime;
    }
    m_time = m_startTime;
    m_mode = Mode::Initialization;
    return Status::OK;
}

Status Instance::exitInitializationMode(const char* function)
{
    if (checkMode(function, {Mode::Initialization}, "only in initialization mode") != Status::OK)
        return Status::Error;
    m_mode = Mode::Step;
    return Status::OK;
}

Status Instance::doStep(const char* function, double currentTime, double stepSize)
{
    if (checkMode(function, {Mode::Step}, "only in step mode (after exiting initialization mode)") != Status::OK)
        return Status::Error;
    if (!std::isfinite(currentTime) || !std::isfinite(stepSize) || stepSize < 0.0)
        return fail(function, "the communication point " + text(currentTime) + " with step size " + text(stepSize) +
                                  " is not a finite time and a step size of zero or more");
    if (!update(function))
        return Status::Error;
    m_time = currentTime + stepSize;
    return Status::OK;
}

Status Instance::terminate(const char* function)
{
    if (checkMode(function, {Mode::Initialization, Mode::Step}, "only in initialization or step mode") !=
        Status::OK)
        return Status::Error;
    m_mode = Mode::Terminated;
    return Status::OK;
}

Status Instance::reset(const char* function)
{
    trace(function);
    const auto& inputs = m_model->description().inputs;
    for (size_t i = 0; i < inputs.size(); ++i)
        m_inputs[i] = inputs[i].start;
    m_dirty = true;
    m_mode = Mode::Instantiated;
    m_startTime = 0.0;
    m_time = 0.0;
    return Status::OK;
}

bool Instance::update(const char* function)
{
    if (!m_dirty)
        return true;
    if (!m_model->evaluate(m_inputs.data(), m_results.data(), *m_workspace))
    {
        for (size_t r = 0; r < m_results.size(); ++r)
            if (!std::isfinite(m_results[r]))
            {
                for (std::uint32_t v = 0; v < m_variables.size(); ++v)
                    if (m_variables[v].role == Role::Output && m_variables[v].index == static_cast<int>(r))
                    {
                        fail(function, "the network gives " + text(m_results[r]) + " for " + describe(v) +
                                           " at these inputs");
                        return false;
                    }
            }
        fail(function, "the network gives a value that is not finite at these inputs");
        return false;
    }
    m_dirty = false;
    return true;
}

Status Instance::getReal(const char* function, Access access, const std::uint32_t* references, size_t count,
                         double* doubles, float* floats, size_t valueCount)
{
    if (checkMode(function, {Mode::Initialization, Mode::Step, Mode::Terminated},
                  "in initialization mode, step mode or after termination") != Status::OK)
        return Status::Error;
    if (count != valueCount)
        return fail(function, std::to_string(count) + " value references given for " + std::to_string(valueCount) +
                                  " values; these variables are scalars");
    if (count > 0 && (!references || (!doubles && !floats)))
        return fail(function, "the value references or the values are a null pointer");
    bool needsUpdate = false;
    for (size_t k = 0; k < count; ++k)
    {
        const std::uint32_t reference = references[k];
        if (reference >= m_variables.size())
            return fail(function, "value reference " + std::to_string(reference) + " is unknown (this FMU has 0 to " +
                                      std::to_string(m_variables.size() - 1) + ")");
        const auto& variable = m_variables[reference];
        if (access != Access::Real && (access == Access::Float32) != variable.float32)
            return fail(function, describe(reference) + " is a " + (variable.float32 ? "Float32" : "Float64") +
                                      " variable");
        needsUpdate = needsUpdate || variable.role == Role::Output;
    }
    if (needsUpdate && !update(function))
        return Status::Error;
    for (size_t k = 0; k < count; ++k)
    {
        const auto& variable = m_variables[references[k]];
        double value = 0.0;
        switch (variable.role)
        {
        case Role::Time:
            value = m_time;
            break;
        case Role::Input:
            value = m_inputs[static_cast<size_t>(variable.index)];
            break;
        case Role::Output:
            value = m_results[static_cast<size_t>(variable.index)];
            break;
        }
        if (floats)
            floats[k] = static_cast<float>(value);
        else
            doubles[k] = value;
    }
    return Status::OK;
}

Status Instance::setReal(const char* function, Access access, const std::uint32_t* references, size_t count,
                         const double* doubles, const float* floats, size_t valueCount)
{
    if (checkMode(function, {Mode::Instantiated, Mode::Initialization, Mode::Step},
                  "before termination") != Status::OK)
        return Status::Error;
    if (count != valueCount)
        return fail(function, std::to_string(count) + " value references given for " + std::to_string(valueCount) +
                                  " values; these variables are scalars");
    if (count > 0 && (!references || (!doubles && !floats)))
        return fail(function, "the value references or the values are a null pointer");
    // Every value is checked before any is taken, so a refused call changes nothing.
    Status status = Status::OK;
    std::string warnings;
    for (size_t k = 0; k < count; ++k)
    {
        const std::uint32_t reference = references[k];
        if (reference >= m_variables.size())
            return fail(function, "value reference " + std::to_string(reference) + " is unknown (this FMU has 0 to " +
                                      std::to_string(m_variables.size() - 1) + ")");
        const auto& variable = m_variables[reference];
        if (variable.role != Role::Input)
            return fail(function, describe(reference) + " is not an input and cannot be set");
        if (access != Access::Real && (access == Access::Float32) != variable.float32)
            return fail(function, describe(reference) + " is a " + (variable.float32 ? "Float32" : "Float64") +
                                      " variable");
        const double value = floats ? static_cast<double>(floats[k]) : doubles[k];
        if (!std::isfinite(value))
            return fail(function, describe(reference) + " cannot take " + text(value) +
                                      ", which is not a finite number");
        const auto& input = m_model->description().inputs[static_cast<size_t>(variable.index)];
        if (value < input.min || value > input.max)
        {
            status = Status::Warning;
            warnings += (warnings.empty() ? "" : "; ") + describe(reference) + " = " + text(value) +
                        " lies outside the range the network was trained on, " + text(input.min) + " to " +
                        text(input.max);
        }
    }
    for (size_t k = 0; k < count; ++k)
    {
        const auto& variable = m_variables[references[k]];
        m_inputs[static_cast<size_t>(variable.index)] = floats ? static_cast<double>(floats[k]) : doubles[k];
    }
    if (count > 0)
        m_dirty = true;
    if (status == Status::Warning)
        log(Status::Warning, std::string(function) + ": " + warnings);
    return status;
}
} // namespace ConfluxFmu
