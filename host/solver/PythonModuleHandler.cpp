#include "host/solver/PythonModuleHandler.h"

#include "host/solver/PythonValueMapping.h"

#include "src/model/Attribute.h"

#include <pybind11/embed.h>

#include <stdexcept>
#include <utility>

namespace CFDSolver
{
PythonModuleHandler::PythonModuleHandler(std::string module, ScriptingSystem::PythonFunction function)
    : m_module(std::move(module)), m_function(std::move(function))
{
}

PythonModuleHandler::~PythonModuleHandler() = default;

void PythonModuleHandler::call(TesseraSDK::EventType event, ExchangeSession& session)
{
    switch (event)
    {
    case TesseraSDK::EventType::CFDGeneration:
    case TesseraSDK::EventType::Iteration:
    case TesseraSDK::EventType::TimeStep:
        break;
    case TesseraSDK::EventType::SolveEnd:
        return;
    }
    // One hold of the interpreter lock for the whole call: the steps below would take it in turn.
    const pybind11::gil_scoped_acquire lock;
    // Made only for a failure: most calls succeed.
    const auto where = [&]
    {
        return "Python handler '" + m_function.getName() + "' of module '" + m_module + "', iteration " +
               std::to_string(session.iteration());
    };
    const ExchangeValues& values = session.values();

    if (!m_mapping || m_mapped != &values)
    {
        m_mapping = std::make_unique<PythonValueMapping>(values, true);
        m_mapped = &values;
    }
    session.valuesRead(m_module, m_mapping->size());

    ScriptingSystem::PythonValue result;
    {
        // The mapping reads the model only while the call lasts.
        const PythonValueMapping::Lease lease = m_mapping->lend();
        try
        {
            result = m_function.call({lease.mapping()});
        }
        catch (const std::runtime_error& error)
        {
            throw std::runtime_error(where() + ": " + error.what());
        }
    }

    // Every returned pair is checked before the first is written, so a refused one writes nothing.
    std::vector<PythonValueMapping::Write> writes;
    try
    {
        writes = m_mapping->writes(result, true);
        for (const PythonValueMapping::Write& write : writes)
        {
            const double* number = std::get_if<double>(&write.value);
            const int* whole = std::get_if<int>(&write.value);
            if (number == nullptr && whole == nullptr)
                continue;
            try
            {
                session.checkRange(*write.target, number != nullptr ? *number : *whole);
            }
            catch (const std::runtime_error& error)
            {
                throw PythonValueMapping::Refused(write.target->path, error.what());
            }
        }
    }
    catch (const PythonValueMapping::Refused& refused)
    {
        if (!refused.path().empty())
            session.writeRefused(m_module, refused.path(), refused.reason());
        throw std::runtime_error(where() + ": " + refused.what());
    }
    for (const PythonValueMapping::Write& write : writes)
    {
        ExchangeValues::write(*write.target->attribute, write.value, true);
        session.valueWritten(m_module, *write.target);
    }
}
} // namespace CFDSolver
