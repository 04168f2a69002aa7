// Writes seeded training and testing cases for the sample project's AI-model candidates, from
// physically consistent models of the equipment, as the CSV files that `confluxtool train` reads:
//   make-training-data examples/sample-datacentre.json OUTDIR [--cases N] [--testing-cases N] [--seed S]
// gives OUTDIR/server-training.csv, server-testing.csv (IT equipment "Server A01-1") and
// cdu-training.csv, cdu-testing.csv ("CDU 1").
//
// Server: typical power P (100 to 1000 W) and inlet temperature (15 to 35 °C) are drawn; the fans
// move Q = 0.015 + 4.5e-5·P + 8e-4·max(0, inlet − 25) m³/s, and the exhaust temperature closes
// P = ρ(exhaust)·Q·(h(exhaust) − h(inlet)) for the project's air (ideal gas at the fluid's reference
// pressure, its specific heat), the mass flow taken at the exhaust as the trainer's physical model does.
// CDU: technology return temperature (30 to 45 °C), heat load (5 to 60 kW), facility supply
// temperature (10 to 20 °C) and facility flow (1.5 to 4 l/s) are drawn; the pump holds an 8 K rise
// (flow clamped to 0.5 to 3 l/s); both loops carry the heat load, so the technology supply and facility
// return temperatures follow from each loop's ṁ·(h(in) − h(out)); cases whose loops come closer than
// 1 K at either end of the exchanger are drawn again. Coolants are the project's fluids, with their
// constant density and specific heat values.
//
// Values are rounded to a few significant digits before the outputs are solved, and every written case
// is checked against the equipment's energy and mass balance (PhysicalModel::calcImbalances); the tool
// fails when a case is off by more than 0.01 W per kW carried.
#include "host/ai/physics/PhysicalModel.h"
#include "host/ai/physics/PhysicalModelFluid.h"
#include "host/ai/tensor/Tensor.h"
#include "host/ai/tensor/TensorWithHeaders.h"
#include "host/cabinet/FluidDetails.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/entitymodel/UnitConverter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
using namespace AISystem;
using EntityModel::Entity;

Entity* findEntity(Entity* root, const char* type, const std::string& name)
{
    for (Entity* entity : root->getOwnedChildEntitiesOfType(EntityModel::TypeRef(type)))
        if (entity->getName() == name)
            return entity;
    throw std::runtime_error(std::string("the project has no ") + type + " named '" + name + "'");
}

/// "Input: ENTITY:PATH (UNIT)" for the attribute at path, the unit being its quantity's standard unit.
std::string header(const char* role, Entity* entity, const char* path)
{
    EntityModel::Attribute* attribute = entity->findAttribute(path);
    if (attribute == nullptr)
        throw std::runtime_error("'" + entity->getName() + "' has no attribute " + path);
    std::string text = std::string(role) + ": " + entity->getName() + ":" + path;
    if (attribute->isDoubleAttribute())
        if (auto* unit = static_cast<EntityModel::DoubleAttribute*>(attribute)->getUnitAttribute())
            if (const auto si = EntityModel::UnitConverter::instance().getSIType(unit->getQuantity());
                !si.empty())
                text += " (" + si + ")";
    return text;
}

/// A coolant as the trainer's physical model takes it: constant density and specific heat values.
PhysicalModelFluid coolant(Entity* fluid)
{
    if (fluid == nullptr)
        return PhysicalModelFluid::water();
    return PhysicalModelFluid(
        PhysicalModelFluidDensityConstant(EntityModel::getStandardDoubleValue(fluid, "Density.Value")),
        PhysicalModelFluidSpecificHeatConstant(
            EntityModel::getStandardDoubleValue(fluid, "Specific Heat.Value")));
}

/// The project's air: an ideal gas at the fluid's reference pressure when its density option says so.
PhysicalModelFluid projectAir(Entity* fluid)
{
    if (fluid == nullptr)
        return PhysicalModelFluid::air();
    const double cp = EntityModel::getStandardDoubleValue(fluid, "Specific Heat.Value");
    if (EntityModel::getTypeValue(fluid, "Density.Option") == EntityModel::TypeRef("Ideal Gas"))
        return PhysicalModelFluid(PhysicalModelFluidDensityIdealGas(
                                      EntityModel::getStandardDoubleValue(fluid, "Molecular Weight.Value"),
                                      CabinetConstructor::FluidDetails::getReferencePressure(fluid), false),
                                  PhysicalModelFluidSpecificHeatConstant(cp));
    return PhysicalModelFluid(
        PhysicalModelFluidDensityConstant(EntityModel::getStandardDoubleValue(fluid, "Density.Value")),
        PhysicalModelFluidSpecificHeatConstant(cp));
}

/// The root of f between low and high (f(low) and f(high) of opposite signs), by bisection.
double solve(const std::function<double(double)>& f, double low, double high)
{
    double fLow = f(low);
    if (fLow * f(high) > 0.0)
        throw std::runtime_error("no root between " + std::to_string(low) + " and " + std::to_string(high));
    for (int i = 0; i < 200 && high - low > 1e-12; ++i)
    {
        const double middle = 0.5 * (low + high);
        const double fMiddle = f(middle);
        if ((fMiddle < 0.0) == (fLow < 0.0))
        {
            low = middle;
            fLow = fMiddle;
        }
        else
            high = middle;
    }
    return 0.5 * (low + high);
}

/// value rounded to `decimals` decimal places, as the double nearest that decimal (so that it is written
/// short).
double roundTo(double value, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return std::strtod(text, nullptr);
}

/// Cases of one piece of equipment: inputs, outputs, their headers and its balance.
struct Equipment
{
    std::vector<std::string> inputHeaders;
    std::vector<std::string> outputHeaders;
    PhysicalModel balance;
    /// Draws one case; false when it must be drawn again.
    std::function<bool(std::mt19937_64&, std::vector<double>&, std::vector<double>&)> draw;
    /// Heat carried by a case, for the balance tolerance (W).
    std::function<double(const std::vector<double>&)> heat;
};

Equipment server(Entity* root, Entity* air)
{
    Entity* item = findEntity(root, "IT Equipment", "Server A01-1");
    Entity* inlet = findEntity(root, "Inflow", "Server A01-1 Inlet");
    Entity* exhaust = findEntity(root, "Outflow", "Server A01-1 Exhaust");
    Equipment equipment;
    equipment.inputHeaders = {
        header("Input", item, "Power.Power Definition.Typical Power"),
        header("Input", inlet, "Simulation Results.Temperature Net.Mean Temperature Net")};
    equipment.outputHeaders = {header("Target", exhaust, "Temperature"),
                               header("Target", exhaust, "Flow Rate")};
    const PhysicalModelFluid fluid = projectAir(air);
    equipment.balance.addHeatSource(PhysicalModelValue::input(0));
    PhysicalModelStream stream(fluid);
    stream.addInflow(EntityModel::getStandardDoubleValue(inlet, "Area"), PhysicalModelValue::input(1),
                     std::nullopt);
    stream.addOutflow(EntityModel::getStandardDoubleValue(exhaust, "Area"), PhysicalModelValue::output(0),
                      PhysicalModelValue::output(1, -1.0));
    equipment.balance.addStream(stream);
    equipment.draw = [fluid](std::mt19937_64& generator, std::vector<double>& in, std::vector<double>& out)
    {
        const double power = roundTo(std::uniform_real_distribution<double>(100.0, 1000.0)(generator), 1);
        const double inlet = roundTo(std::uniform_real_distribution<double>(15.0, 35.0)(generator), 2);
        const double flow = roundTo(0.015 + 4.5e-5 * power + 8e-4 * std::max(0.0, inlet - 25.0), 7);
        const double exhaust =
            solve([&](double t)
                  { return fluid.density(t) * flow * (fluid.enthalpy(t) - fluid.enthalpy(inlet)) - power; },
                  inlet, inlet + 200.0);
        in = {power, inlet};
        out = {roundTo(exhaust, 6), flow};
        return true;
    };
    equipment.heat = [](const std::vector<double>& in) { return in[0]; };
    return equipment;
}

Equipment cdu(Entity* root)
{
    Entity* unit = findEntity(root, "CDU", "CDU 1");
    Entity* technologyFluid =
        EntityModel::getLinkedEntity(unit, "Cooling.Operating Conditions.Working Technology Fluid");
    // The facility loop's fluid is the flow network's: the network owning the CDU's connection.
    Entity* facilityFluid = nullptr;
    if (Entity* connection = EntityModel::getLinkedEntity(unit, "Cooling.Operating Conditions.NetworkCDU"))
        if (Entity* network = connection->getOwnerEntity())
            facilityFluid = EntityModel::getLinkedEntity(network, "Fluid");
    if (facilityFluid == nullptr)
        throw std::runtime_error("'CDU 1' has no flow network fluid on its facility side");
    Equipment equipment;
    equipment.inputHeaders = {
        header("Input", unit, "Simulation Results.Technology Coolant.Technology Coolant Temperature In"),
        header("Input", unit, "Simulation Results.Technology Coolant.Heat Load"),
        header("Input", unit, "Simulation Results.Facility Coolant.Facility Coolant Temperature In"),
        header("Input", unit, "Simulation Results.Facility Coolant.Facility Coolant Flow Rate")};
    equipment.outputHeaders = {
        header("Target", unit, "Cooling.Technology Coolant Flow.Coolant Flow Rate"),
        header("Target", unit, "Cooling.Technology Coolant Flow.Coolant Outlet Temperature"),
        header("Target", unit, "Cooling.Facility Coolant Flow.Facility Coolant Outlet Temperature")};
    const PhysicalModelFluid technology = coolant(technologyFluid);
    const PhysicalModelFluid facility = coolant(facilityFluid);
    PhysicalModelStream technologyStream(technology);
    technologyStream.addInflow(0.0, PhysicalModelValue::input(0), PhysicalModelValue::output(0, -1.0));
    technologyStream.addOutflow(0.0, PhysicalModelValue::output(1), PhysicalModelValue::output(0, -1.0));
    PhysicalModelStream facilityStream(facility);
    facilityStream.addInflow(0.0, PhysicalModelValue::input(2), PhysicalModelValue::input(3));
    facilityStream.addOutflow(0.0, PhysicalModelValue::output(2), PhysicalModelValue::input(3));
    equipment.balance.addStream(technologyStream);
    equipment.balance.addStream(facilityStream);
    equipment.draw =
        [technology, facility](std::mt19937_64& generator, std::vector<double>& in, std::vector<double>& out)
    {
        const double returnTemperature =
            roundTo(std::uniform_real_distribution<double>(30.0, 45.0)(generator), 2);
        const double load = roundTo(std::uniform_real_distribution<double>(5000.0, 60000.0)(generator), 0);
        const double supply = roundTo(std::uniform_real_distribution<double>(10.0, 20.0)(generator), 2);
        const double facilityFlow =
            roundTo(std::uniform_real_distribution<double>(0.0015, 0.004)(generator), 7);
        const double rise = 8.0;
        const double pumped = roundTo(std::clamp(load / (technology.density(returnTemperature) *
                                                         technology.specificHeat(returnTemperature) * rise),
                                                 0.0005, 0.003),
                                      7);
        const double technologyOut = solve(
            [&](double t)
            {
                return technology.density(t) * pumped *
                           (technology.enthalpy(returnTemperature) - technology.enthalpy(t)) -
                       load;
            },
            returnTemperature - 200.0, returnTemperature);
        const double facilityOut = solve(
            [&](double t)
            {
                return facility.density(supply) * facilityFlow *
                           (facility.enthalpy(t) - facility.enthalpy(supply)) -
                       load;
            },
            supply, supply + 200.0);
        // A counter-flow exchanger needs each loop warmer than the other where they meet.
        if (technologyOut < supply + 1.0 || returnTemperature < facilityOut + 1.0)
            return false;
        in = {returnTemperature, load, supply, facilityFlow};
        out = {pumped, roundTo(technologyOut, 6), roundTo(facilityOut, 6)};
        return true;
    };
    equipment.heat = [](const std::vector<double>& in) { return in[1]; };
    return equipment;
}

void writeCases(const Equipment& equipment, std::mt19937_64& generator, int count, const QString& file)
{
    if (count == 0)
        return; // no file rather than one without cases
    std::vector<std::vector<double>> rows;
    std::vector<std::vector<double>> inputs;
    std::vector<std::vector<double>> outputs;
    while (static_cast<int>(rows.size()) < count)
    {
        std::vector<double> in, out;
        if (!equipment.draw(generator, in, out))
            continue;
        inputs.push_back(in);
        outputs.push_back(out);
        in.insert(in.end(), out.begin(), out.end());
        rows.push_back(in);
    }
    const auto imbalances =
        equipment.balance.calcImbalances(Tensor::fromRows(inputs), Tensor::fromRows(outputs));
    double worst = 0.0;
    for (size_t i = 0; i < imbalances.size(); ++i)
    {
        const double relative = std::abs(imbalances[i].energy) / (equipment.heat(inputs[i]) / 1000.0);
        worst = std::max(worst, relative);
        if (relative > 0.01 || std::abs(imbalances[i].mass) > 1e-9)
            throw std::runtime_error("case " + std::to_string(i) + " of " + file.toStdString() +
                                     " is off balance by " + std::to_string(imbalances[i].energy) +
                                     " W and " + std::to_string(imbalances[i].mass) + " kg/s");
    }
    std::vector<std::string> headers = equipment.inputHeaders;
    headers.insert(headers.end(), equipment.outputHeaders.begin(), equipment.outputHeaders.end());
    if (!TensorWithHeaders(Tensor::fromRows(rows), headers).toCSVFile(file.toStdString()))
        throw std::runtime_error("cannot write " + file.toStdString());
    std::printf("%s: %d cases, energy balance within %.3g W per kW\n", qPrintable(file), count, worst);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Writes seeded training and testing cases of the sample's server and CDU.");
    parser.addHelpOption();
    parser.addPositionalArgument("PROJECT", "the sample project (examples/sample-datacentre.json)");
    parser.addPositionalArgument("OUTDIR", "the folder for the CSV files");
    parser.addOption({"cases", "training cases per equipment (default 2000)", "N", "2000"});
    parser.addOption({"testing-cases", "testing cases per equipment (default 500)", "N", "500"});
    parser.addOption({"seed", "the generator's seed (default 20261206)", "S", "20261206"});
    parser.process(application);
    const QStringList arguments = parser.positionalArguments();
    bool casesOk = false, testingOk = false, seedOk = false;
    const int cases = parser.value("cases").toInt(&casesOk);
    const int testingCases = parser.value("testing-cases").toInt(&testingOk);
    const qulonglong seed = parser.value("seed").toULongLong(&seedOk);
    if (arguments.size() != 2 || !casesOk || !testingOk || !seedOk || cases < 1 || testingCases < 0)
    {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }
    try
    {
        const auto project = EntityModel::ProjectFile::load(arguments[0]);
        EntityModel::EntityEditor::setCurrentProject(project.get());
        Entity* root = project->getRootEntity();
        const QDir out(arguments[1]);
        if (!out.mkpath("."))
            throw std::runtime_error("cannot make " + arguments[1].toStdString());
        std::mt19937_64 generator(seed);
        const Equipment serverCases = server(root, EntityModel::EntityFetcher::getProjectFluid(root));
        writeCases(serverCases, generator, cases, out.filePath("server-training.csv"));
        writeCases(serverCases, generator, testingCases, out.filePath("server-testing.csv"));
        const Equipment cduCases = cdu(root);
        writeCases(cduCases, generator, cases, out.filePath("cdu-training.csv"));
        writeCases(cduCases, generator, testingCases, out.filePath("cdu-testing.csv"));
        EntityModel::EntityEditor::setCurrentProject(nullptr);
        return 0;
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "make-training-data: %s\n", error.what());
        return 1;
    }
}
