#pragma once
#include <exception>
#include <string>

namespace Log
{
/// The record of a failure: the exception that was raised and its text. Empty when nothing failed.
class FailureData
{
public:
    /// No failure.
    FailureData() = default;
    /// A failure with a text and, when known, the exception that carried it.
    explicit FailureData(std::string message, std::exception_ptr exception = nullptr);

    /// The failure of an exception: its text is what() for std::exception, the text itself for a thrown
    /// C string or std::string, and "Unhandled Exception" otherwise. A null pointer gives no failure.
    static FailureData fromException(std::exception_ptr exception);
    /// fromException(std::current_exception()); call it inside a catch block.
    static FailureData fromCurrentException();

    bool isFailure() const { return m_failed; }
    explicit operator bool() const { return m_failed; }
    const std::string& message() const { return m_message; }
    std::exception_ptr exception() const { return m_exception; }

    /// Throws the original exception, or Futures::Failure with the text when there is none.
    /// Does nothing when there is no failure.
    void rethrow() const;

private:
    bool m_failed = false;
    std::string m_message;
    std::exception_ptr m_exception;
};
} // namespace Log
