#pragma once

namespace Conflux
{
/// The trivial linker has no settings; the record exists so that every solver-library linker is
/// made from an options record.
struct TrivialEventHandlerOptions
{
    bool operator==(const TrivialEventHandlerOptions&) const = default;
};
} // namespace Conflux
