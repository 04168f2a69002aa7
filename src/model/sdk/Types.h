#pragma once
// The plain types of the controller SDK: status codes, access and attribute kinds, chronologies
// and the events the solver fires at controllers.
#include <cstdint>

namespace TesseraSDK
{
/// Every SDK call returns one: 0 success, negative on failure.
using Status = std::int32_t;

namespace StatusCode
{
constexpr Status Success = 0;
constexpr Status RuntimeError = -2;  ///< std::runtime_error, access refused, invalid unit
constexpr Status LogicError = -3;    ///< std::logic_error other than out_of_range
constexpr Status OutOfRange = -4;    ///< std::out_of_range, e.g. "Chronology Out Of Range"
constexpr Status OtherException = -5;
constexpr Status UnknownException = -6;
} // namespace StatusCode

/// What a controller may do with a node: bit 0 read, bit 1 write.
enum class AccessType : std::int32_t
{
    None = 0,
    ReadOnly = 1,
    WriteOnly = 2,
    ReadWrite = 3,
};

/// Combining two access types keeps the rights both grant.
constexpr AccessType operator&(AccessType a, AccessType b)
{
    return static_cast<AccessType>(static_cast<std::int32_t>(a) & static_cast<std::int32_t>(b));
}
constexpr bool canRead(AccessType a) { return (static_cast<std::int32_t>(a) & 1) != 0; }
constexpr bool canWrite(AccessType a) { return (static_cast<std::int32_t>(a) & 2) != 0; }

/// The kind of an exchange node.
enum class AttributeType : std::int32_t
{
    Integer = 1,
    Boolean = 2,
    String = 3,
    Float = 4,
    Composite = 5,
    Entity = 6,
    Link = 7,
    List = 8,
    Shortcut = 9,
    Array = 10,
    Double = 11,
};

/// A point of the solver's time line (0 is the root of the predecessor chain 0..4).
using Chronology = std::int32_t;

/// Events the solver fires at the exchange's controllers: the generation of the solver project,
/// then one per iteration (steady solves) or time step (transient solves), then the end of the
/// solve.
enum class EventType : std::int32_t
{
    CFDGeneration = 201,
    Iteration = 202,
    TimeStep = 203,
    SolveEnd = 204,
};
} // namespace TesseraSDK
