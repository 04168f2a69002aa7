#include "host/services/FailureData.h"

#include "host/services/Failure.h"

namespace Log
{
FailureData::FailureData(std::string message, std::exception_ptr exception)
    : m_failed(true), m_message(std::move(message)), m_exception(std::move(exception))
{
}

FailureData FailureData::fromException(std::exception_ptr exception)
{
    if (!exception)
        return {};
    try
    {
        std::rethrow_exception(exception);
    }
    catch (const std::exception& e)
    {
        return FailureData(e.what(), exception);
    }
    catch (const char* text)
    {
        return FailureData(text ? text : "", exception);
    }
    catch (const std::string& text)
    {
        return FailureData(text, exception);
    }
    catch (...)
    {
        return FailureData("Unhandled Exception", exception);
    }
}

FailureData FailureData::fromCurrentException()
{
    return fromException(std::current_exception());
}

void FailureData::rethrow() const
{
    if (!m_failed)
        return;
    if (m_exception)
        std::rethrow_exception(m_exception);
    throw Futures::Failure(m_message);
}
} // namespace Log
