#pragma once
#include <stdexcept>
#include <string>

namespace Conflux::Model
{
/// A read or write of the exchange model that the node's access type does not allow.
class AccessException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
} // namespace Conflux::Model
