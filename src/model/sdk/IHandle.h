#pragma once
// TesseraSDK::IHandle and Handle: the status and last-error convention of every SDK interface.
#include "src/model/sdk/Types.h"

#include <cstddef>
#include <exception>
#include <stdexcept>
#include <string>

namespace TesseraSDK
{
/// Receives a text from the SDK (characters and length), so that no std::string crosses the
/// boundary between a controller and the library.
class IString
{
public:
    virtual void assign(const char* data, std::size_t length) = 0;

protected:
    ~IString() = default;
};

/// An IString that fills a std::string of the controller's.
class StdString final : public IString
{
public:
    explicit StdString(std::string& target) : m_target(target) {}
    void assign(const char* data, std::size_t length) override { m_target.assign(data, length); }

private:
    std::string& m_target;
};

/// The base of every SDK interface.
class IHandle
{
public:
    /// Writes the interface version.
    virtual Status getInterfaceVersion(std::int32_t* version) const = 0;
    /// Hands the message of the last failed call to `receiver` (empty after a success).
    virtual Status getLastErrorMessage(IString& receiver) const = 0;
    /// Writes the status of the last call.
    virtual Status getLastStatus(Status* status) const = 0;

protected:
    // Not virtual here: in the published layout the destructor's slot follows the operations of
    // each concrete interface, so only those declare it.
    ~IHandle() = default;
};

/// Implements IHandle's operations for interface I and keeps the last status and message.
/// `call` runs one operation and turns any exception into a status code.
template <class I, int Version>
class Handle : public I
{
public:
    Status getInterfaceVersion(std::int32_t* version) const override
    {
        if (version == nullptr)
            return StatusCode::LogicError;
        *version = Version;
        return StatusCode::Success;
    }

    Status getLastErrorMessage(IString& receiver) const override
    {
        try
        {
            receiver.assign(m_message.data(), m_message.size());
            return StatusCode::Success;
        }
        catch (...)
        {
            return StatusCode::UnknownException;
        }
    }

    Status getLastStatus(Status* status) const override
    {
        if (status == nullptr)
            return StatusCode::LogicError;
        *status = m_status;
        return StatusCode::Success;
    }

protected:
    /// Clears the message, runs `operation` and records how it ended.
    template <class F>
    Status call(F&& operation) const
    {
        m_message.clear();
        m_status = StatusCode::Success;
        try
        {
            operation();
        }
        catch (const std::runtime_error& e)
        {
            fail(StatusCode::RuntimeError, e.what());
        }
        catch (const std::out_of_range& e)
        {
            fail(StatusCode::OutOfRange, e.what());
        }
        catch (const std::logic_error& e)
        {
            fail(StatusCode::LogicError, e.what());
        }
        catch (const std::exception& e)
        {
            fail(StatusCode::OtherException, e.what());
        }
        catch (...)
        {
            fail(StatusCode::UnknownException, "Unknown Exception");
        }
        return m_status;
    }

    /// Records a failure found without an exception.
    Status fail(Status status, const char* message) const
    {
        m_status = status;
        try
        {
            m_message = message;
        }
        catch (...)
        {
            m_message.clear();
        }
        return status;
    }

private:
    mutable Status m_status = StatusCode::Success;
    mutable std::string m_message;
};
} // namespace TesseraSDK
