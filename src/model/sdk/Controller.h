#pragma once
// The entry point of a controller library: the one header a controller author includes (it brings
// the SDK's interfaces with it).
//
// The project's user-defined library names the file the solver loads and the event handler it
// calls. The handler is an exported C function of this form:
//
//     TESSERA_CONTROLLER std::int32_t onUpdate(std::int32_t event, TesseraSDK::Model::IEntity* model)
//     {
//         ...
//         return 0;
//     }
//
// - `event` is a TesseraSDK::EventType value: CFDGeneration once when the solve starts, then
//   Iteration (steady solves) or TimeStep (transient solves) each time the exchange runs, then
//   SolveEnd. New event values may come: a handler returns 0 for those it does not know.
// - `model` is the root entity of the exchange model, with the access rights of the generation
//   applied. It and every interface reached from it stay valid during the call; keep none of them
//   across calls. Nothing handed out is deleted by the controller.
// - Every SDK call returns a TesseraSDK::Status (0 success); after a failure getLastErrorMessage
//   says why ("User has no write access", "Invalid Unit", an out-of-range set point ...). A refused
//   write changes nothing and is no failure of the handler: the controller decides what to do.
// - A non-zero return is a controller failure: the solver reports it with the event and the value.
//   Exceptions must not leave the handler.
//
// Calls come one at a time, from one thread. Values are in the units the model gives
// (getUnit); a write may name its unit (it must be the value's) or pass null.
#include "src/model/sdk/IAttribute.h"
#include "src/model/sdk/Types.h"

#include <cstdint>

#if defined(_WIN32)
#define TESSERA_CONTROLLER extern "C" __declspec(dllexport)
#else
#define TESSERA_CONTROLLER extern "C" __attribute__((visibility("default")))
#endif

namespace TesseraSDK
{
/// The type of a controller library's event handler.
using ControllerEventHandler = std::int32_t (*)(std::int32_t event, Model::IEntity* model);
} // namespace TesseraSDK
