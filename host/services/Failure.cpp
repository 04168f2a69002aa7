#include "host/services/Failure.h"

namespace Futures
{
Failure::Failure(const std::string& message) : std::runtime_error(message), m_data(message) {}

Failure::Failure(const Log::FailureData& data) : std::runtime_error(data.message()), m_data(data) {}
} // namespace Futures
