#pragma once
#include "src/model/sdk/Types.h"

#include <string>

namespace CFDSolver
{
/// An event handler registered with the exchange control: the function `handler` of the
/// library (or module) `library`.
struct ConfluxEventHandler
{
    std::string library;
    std::string handler;

    bool operator==(const ConfluxEventHandler&) const = default;
};

/// One call of an event handler, as the exchange control made it.
struct ConfluxFiredEvent
{
    TesseraSDK::EventType type;
    std::string library;
    std::string handler;

    bool operator==(const ConfluxFiredEvent&) const = default;
};
} // namespace CFDSolver
