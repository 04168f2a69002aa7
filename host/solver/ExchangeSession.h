#pragma once
#include "host/solver/ExchangeValues.h"

#include <cstddef>
#include <string>

namespace CFDSolver
{
/// The solve a control's controllers run in: the iteration under way, the values of the exchange
/// model, the model's bounds and a record of what the controllers did. A control with a session
/// runs its controllers at each event; one without only records the events (see ConfluxCntrl).
class ExchangeSession
{
public:
    virtual ~ExchangeSession() = default;

    /// The iteration (or time step) under way; 0 for events before the first.
    virtual int iteration() const = 0;
    /// The value nodes of the model the controllers see.
    virtual const ExchangeValues& values() const = 0;
    /// Throws std::runtime_error saying why, with the number ("nan is not a finite number", "30 is
    /// above the maximum 22"), when the model would not take `number` for that value; the caller
    /// names the path.
    virtual void checkRange(const ExchangeValues::Value& value, double number) const = 0;

    /// A controller read `count` values in one call.
    virtual void valuesRead(const std::string& controller, std::size_t count) = 0;
    /// A controller wrote the value (it is in the model now).
    virtual void valueWritten(const std::string& controller, const ExchangeValues::Value& value) = 0;
    /// The model refused a write of a controller's.
    virtual void writeRefused(const std::string& controller, const std::string& path, const std::string& reason) = 0;
};

/// One event handler of a control as it runs during a solve: the controller it belongs to, called
/// at each event. A failing call throws std::runtime_error saying which handler, at which
/// iteration, and why.
class SolveTimeHandler
{
public:
    virtual ~SolveTimeHandler() = default;
    /// The controller's name in the project (module, library or AI model).
    virtual const std::string& controller() const = 0;
    virtual void call(TesseraSDK::EventType event, ExchangeSession& session) = 0;
};
} // namespace CFDSolver
