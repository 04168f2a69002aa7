// The sample project's user-defined controller library ("Site BMS Bridge"). At each iteration it
// does what a bridge to the building management system does: it reads the air cooling unit's
// supply temperature from the exchange, sets the facility water loop's supply temperature the
// management system would choose for it (2 K below the air, within the chillers' 12 to 18 °C),
// and publishes the rack's inlet temperature back, which the exchange refuses (the solver owns
// simulation results): the refusal is reported with its status and message, once.
#include "src/model/sdk/Controller.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace
{
std::int32_t calls = 0;
bool refusalReported = false;

const char* const crahSupply = "Rooms.Data Hall 1.Air Cooling Units.CRAH 1.Supply Temperature";
const char* const waterSupply = "Flow Networks.Facility Water Loop.Supply Temperature";
const char* const rackInlet = "Rooms.Data Hall 1.Cabinets.Rack A01.Simulation Results.Mean Inlet Temperature";

/// The single-precision value node at `path` below the model, or null.
TesseraSDK::Model::IValueAttribute<float>* floatValue(TesseraSDK::Model::IEntity* model, const char* path)
{
    TesseraSDK::Model::IAttribute* node = nullptr;
    TesseraSDK::AttributeType type{};
    if (model->findAttribute(path, &node) != TesseraSDK::StatusCode::Success ||
        node->getAttributeType(&type, false) != TesseraSDK::StatusCode::Success ||
        type != TesseraSDK::AttributeType::Float)
        return nullptr;
    return static_cast<TesseraSDK::Model::IValueAttribute<float>*>(node);
}
} // namespace

/// The event handler the sample project selects.
TESSERA_CONTROLLER std::int32_t onBmsUpdate(std::int32_t event, TesseraSDK::Model::IEntity* model)
{
    ++calls;
    if (event != static_cast<std::int32_t>(TesseraSDK::EventType::Iteration) || model == nullptr)
        return 0;
    auto* air = floatValue(model, crahSupply);
    auto* water = floatValue(model, waterSupply);
    auto* inlet = floatValue(model, rackInlet);
    if (air == nullptr || water == nullptr || inlet == nullptr)
        return 1; // the project is not the one this bridge was written for
    double supply = 0.0;
    if (air->getDoubleValue(&supply, 0) != TesseraSDK::StatusCode::Success)
        return 2;
    if (water->setDoubleValue(std::clamp(supply - 2.0, 12.0, 18.0), "°C", 0) != TesseraSDK::StatusCode::Success)
        return 3;
    double measured = 0.0;
    if (inlet->getDoubleValue(&measured, 0) != TesseraSDK::StatusCode::Success)
        return 4;
    const TesseraSDK::Status status = inlet->setDoubleValue(measured, nullptr, 0);
    if (status != TesseraSDK::StatusCode::Success && !refusalReported)
    {
        std::string message;
        TesseraSDK::StdString receiver(message);
        inlet->getLastErrorMessage(receiver);
        std::fprintf(stderr, "bms_bridge: publishing the rack inlet temperature was refused (status %d): %s\n",
                     static_cast<int>(status), message.c_str());
        refusalReported = true;
    }
    return 0;
}

/// How often the solver called the handler since the library was loaded.
TESSERA_CONTROLLER std::int32_t bmsUpdateCalls()
{
    return calls;
}
