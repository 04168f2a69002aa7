#pragma once
#include "host/services/FailureData.h"

#include <stdexcept>
#include <string>

namespace Futures
{
/// The exception of the future framework: a future that ended without a value ("No Results"), one that
/// did not end ("Not Finished"), an abandoned operation, or a failure known only by its text.
class Failure : public std::runtime_error
{
public:
    explicit Failure(const std::string& message);
    /// A failure that wraps another failure's record (its exception stays reachable through data()).
    explicit Failure(const Log::FailureData& data);

    /// The record of this failure; its exception is the wrapped one, if any.
    const Log::FailureData& data() const { return m_data; }

private:
    Log::FailureData m_data;
};
} // namespace Futures
