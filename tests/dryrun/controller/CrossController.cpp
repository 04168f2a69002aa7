// A controller library that the test build compiles with the other compiler (clang when the suite
// builds with g++, g++ when it builds with clang), to prove the SDK's binary layout the way a
// controller author's build meets it. At its first iteration it walks the exchange model, finds
// values by path, reads and writes doubles with units and chronologies and meets a refused write;
// crossControllerReport() hands back what it saw, one finding per line.
#include "src/model/sdk/Controller.h"

#include <string>

namespace
{
std::string report;

void line(const std::string& text)
{
    report += text + "\n";
}

std::string text(const TesseraSDK::IHandle& handle)
{
    std::string message;
    TesseraSDK::StdString receiver(message);
    handle.getLastErrorMessage(receiver);
    return message;
}

std::string name(const TesseraSDK::Model::IAttribute& node)
{
    std::string label;
    TesseraSDK::StdString receiver(label);
    node.getType(receiver);
    return label;
}

struct Counts
{
    int entities = 0;
    int values = 0;
    int composites = 0;
    int links = 0;
};

void walk(TesseraSDK::Model::IAttribute* node, Counts& counts)
{
    using TesseraSDK::AttributeType;
    AttributeType type{};
    node->getAttributeType(&type, false);
    switch (type)
    {
    case AttributeType::Entity:
    case AttributeType::Composite:
    {
        (type == AttributeType::Entity ? counts.entities : counts.composites) += 1;
        auto* composite = static_cast<TesseraSDK::Model::ICompositeAttribute*>(node);
        std::int32_t count = 0;
        composite->getAttributeCount(&count);
        for (std::int32_t i = 0; i < count; ++i)
        {
            TesseraSDK::Model::IAttribute* child = nullptr;
            if (composite->getAttributeAt(i, &child) == TesseraSDK::StatusCode::Success)
                walk(child, counts);
        }
        break;
    }
    case AttributeType::Link:
    case AttributeType::List:
    case AttributeType::Array:
    {
        counts.links += 1;
        auto* link = static_cast<TesseraSDK::Model::IEntityLinkAttribute*>(node);
        std::int32_t count = 0;
        link->getEntityCount(&count);
        for (std::int32_t i = 0; i < count; ++i)
        {
            TesseraSDK::Model::IEntity* entity = nullptr;
            if (link->getEntityAt(i, &entity) == TesseraSDK::StatusCode::Success)
                walk(entity, counts);
        }
        break;
    }
    case AttributeType::Integer:
    case AttributeType::Boolean:
    case AttributeType::String:
    case AttributeType::Float:
    case AttributeType::Double:
        counts.values += 1;
        break;
    case AttributeType::Shortcut:
        break;
    }
}

TesseraSDK::Model::IValueAttribute<float>* floatAt(TesseraSDK::Model::IEntity* model, const char* path)
{
    TesseraSDK::Model::IAttribute* node = nullptr;
    TesseraSDK::AttributeType type{};
    if (model->findAttribute(path, &node) != 0 || node->getAttributeType(&type, false) != 0 ||
        type != TesseraSDK::AttributeType::Float)
        return nullptr;
    return static_cast<TesseraSDK::Model::IValueAttribute<float>*>(node);
}

void study(TesseraSDK::Model::IEntity* model)
{
    std::string rootName;
    TesseraSDK::StdString receiver(rootName);
    model->getName(receiver);
    std::int32_t first = 0, second = 0;
    model->getEntityID(&first, &second);
    line("root " + rootName + " " + std::to_string(first) + "-" + std::to_string(second));

    Counts counts;
    walk(model, counts);
    line("walk entities=" + std::to_string(counts.entities) + " composites=" + std::to_string(counts.composites) +
         " links=" + std::to_string(counts.links) + " values=" + std::to_string(counts.values));

    TesseraSDK::Model::IAttribute* missing = nullptr;
    line("find missing status=" + std::to_string(model->findAttribute("Rooms.Data Hall 9", &missing)));

    auto* supply = floatAt(model, "Rooms.Data Hall 1.Air Cooling Units.CRAH 1.Supply Temperature");
    if (supply == nullptr)
    {
        line("supply not found");
        return;
    }
    std::string unit;
    TesseraSDK::StdString unitReceiver(unit);
    bool hasUnits = false;
    supply->hasUnits(&hasUnits);
    supply->getUnit(unitReceiver);
    TesseraSDK::AccessType access{};
    supply->getAccessType(&access);
    double value = 0.0;
    const TesseraSDK::Status read = supply->getDoubleValue(&value, 0);
    line("supply " + name(*supply) + " unit=" + unit + " hasUnits=" + std::to_string(hasUnits) + " access=" +
         std::to_string(static_cast<int>(access)) + " read=" + std::to_string(read) + " value=" + std::to_string(value));

    const TesseraSDK::Status written = supply->setDoubleValue(value - 0.25, unit.c_str(), 0);
    supply->getDoubleValue(&value, 0);
    line("write with unit status=" + std::to_string(written) + " value=" + std::to_string(value));

    const TesseraSDK::Status wrongUnit = supply->setDoubleValue(10.0, "K", 0);
    line("write in K status=" + std::to_string(wrongUnit) + " message=" + text(*supply));

    const TesseraSDK::Status later = supply->setDoubleValue(17.5, nullptr, 3);
    double at3 = 0.0, at0 = 0.0;
    supply->getDoubleValue(&at3, 3);
    supply->getDoubleValue(&at0, 0);
    line("chronology 3 status=" + std::to_string(later) + " value=" + std::to_string(at3) +
         " chronology 0 value=" + std::to_string(at0));

    auto* flow = floatAt(model, "Rooms.Data Hall 1.Air Cooling Units.CRAH 1.Flow Rate");
    if (flow == nullptr)
    {
        line("flow not found");
        return;
    }
    const TesseraSDK::Status outOfRange = flow->setDoubleValue(-1.0, nullptr, 0);
    const std::string why = text(*flow);
    double kept = 0.0;
    flow->getDoubleValue(&kept, 0);
    line("flow -1 status=" + std::to_string(outOfRange) + " message=" + why + " kept=" + std::to_string(kept));

    auto* inlet = floatAt(model, "Rooms.Data Hall 1.Cabinets.Rack A01.Simulation Results.Mean Inlet Temperature");
    if (inlet == nullptr)
    {
        line("inlet not found");
        return;
    }
    const TesseraSDK::Status refused = inlet->setDoubleValue(25.0, nullptr, 0);
    TesseraSDK::Status last = 0;
    inlet->getLastStatus(&last);
    line("write read-only status=" + std::to_string(refused) + " last=" + std::to_string(last) +
         " message=" + text(*inlet));
    double measured = 0.0;
    const TesseraSDK::Status again = inlet->getDoubleValue(&measured, 0);
    line("read after refusal status=" + std::to_string(again) + " message=" + text(*inlet));
}
} // namespace

TESSERA_CONTROLLER std::int32_t onBmsUpdate(std::int32_t event, TesseraSDK::Model::IEntity* model)
{
    static bool studied = false;
    if (event == static_cast<std::int32_t>(TesseraSDK::EventType::Iteration) && !studied && model != nullptr)
    {
        studied = true;
        study(model);
    }
    return 0;
}

/// Fails every call, with the event as its status.
TESSERA_CONTROLLER std::int32_t failingHandler(std::int32_t event, TesseraSDK::Model::IEntity*)
{
    return event == static_cast<std::int32_t>(TesseraSDK::EventType::Iteration) ? 7 : 0;
}

TESSERA_CONTROLLER const char* crossControllerReport()
{
    return report.c_str();
}
