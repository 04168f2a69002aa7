#include "host/ai/physics/PhysicalModel.h"

#include <cmath>
#include <iomanip>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace AISystem
{
namespace
{
const char* const TextHeader = "physical-model 1";

std::string describe(const PhysicalModelValue& value)
{
    switch (value.getType())
    {
    case PhysicalModelValueType::Fixed:
        return "fixed value";
    case PhysicalModelValueType::Input:
        return "input " + std::to_string(value.getIndex());
    case PhysicalModelValueType::Output:
        return "output " + std::to_string(value.getIndex());
    }
    return "value";
}

void checkColumn(const PhysicalModelValue& value, int inputCount, int outputCount, const std::string& where)
{
    switch (value.getType())
    {
    case PhysicalModelValueType::Fixed:
        return;
    case PhysicalModelValueType::Input:
        if (value.getIndex() >= inputCount)
            throw std::invalid_argument("Physical model: " + where + " refers to " + describe(value) +
                                        " but the network has " + std::to_string(inputCount) + " inputs");
        return;
    case PhysicalModelValueType::Output:
        if (value.getIndex() >= outputCount)
            throw std::invalid_argument("Physical model: " + where + " refers to " + describe(value) +
                                        " but the network has " + std::to_string(outputCount) + " outputs");
        return;
    }
}

bool allHaveFlow(const std::vector<PhysicalModelFlow>& flows)
{
    for (const auto& flow : flows)
        if (!flow.flow)
            return false;
    return true;
}

// Text form ------------------------------------------------------------------------------------

void writeValue(std::ostream& out, const std::optional<PhysicalModelValue>& value)
{
    if (!value)
    {
        out << " none";
        return;
    }
    switch (value->getType())
    {
    case PhysicalModelValueType::Fixed:
        out << " fixed";
        break;
    case PhysicalModelValueType::Input:
        out << " input";
        break;
    case PhysicalModelValueType::Output:
        out << " output";
        break;
    }
    out << ' ' << value->getIndex() << ' ' << value->getFactor() << ' ' << value->getValue();
}

void writeFluid(std::ostream& out, const PhysicalModelFluid& fluid)
{
    std::visit(
        [&out](const auto& density) {
            using T = std::decay_t<decltype(density)>;
            if constexpr (std::is_same_v<T, PhysicalModelFluidDensityConstant>)
                out << " density constant " << density.getDensity();
            else
                out << " density ideal-gas " << density.getMolecularWeight() << ' ' << density.getReferencePressure()
                    << ' ' << (density.isGaugePressure() ? 1 : 0);
        },
        fluid.getDensityModel());
    std::visit(
        [&out](const auto& specificHeat) {
            using T = std::decay_t<decltype(specificHeat)>;
            if constexpr (std::is_same_v<T, PhysicalModelFluidSpecificHeatConstant>)
                out << " specific-heat constant " << specificHeat.getSpecificHeat();
            else
            {
                out << " specific-heat curve " << specificHeat.getPoints().size();
                for (const auto& [temperature, value] : specificHeat.getPoints())
                    out << ' ' << temperature << ' ' << value;
            }
        },
        fluid.getSpecificHeatModel());
}

class LineReader
{
public:
    LineReader(std::string line, int number) : m_stream(line), m_line(std::move(line)), m_number(number) {}

    [[noreturn]] void fail(const std::string& what) const
    {
        throw std::runtime_error("Physical model text, line " + std::to_string(m_number) + " (\"" + m_line +
                                 "\"): " + what);
    }
    std::string word()
    {
        std::string w;
        if (!(m_stream >> w))
            fail("the line ends too early");
        return w;
    }
    double number()
    {
        double value = 0.0;
        if (!(m_stream >> value))
            fail("a number is missing or unreadable");
        return value;
    }
    long long integer()
    {
        long long value = 0;
        if (!(m_stream >> value))
            fail("an integer is missing or unreadable");
        return value;
    }
    void expect(const std::string& expected)
    {
        if (word() != expected)
            fail("\"" + expected + "\" expected");
    }
    void end()
    {
        std::string rest;
        if (m_stream >> rest)
            fail("unexpected \"" + rest + "\"");
    }
    std::optional<PhysicalModelValue> value()
    {
        const std::string kind = word();
        if (kind == "none")
            return std::nullopt;
        PhysicalModelValueType type;
        if (kind == "fixed")
            type = PhysicalModelValueType::Fixed;
        else if (kind == "input")
            type = PhysicalModelValueType::Input;
        else if (kind == "output")
            type = PhysicalModelValueType::Output;
        else
            fail("unknown value kind \"" + kind + "\"");
        const long long index = integer();
        const double factor = number();
        const double fixed = number();
        if (index < 0 || index > std::numeric_limits<int>::max())
            fail("column " + std::to_string(index) + " is out of range");
        try
        {
            return PhysicalModelValue(type, static_cast<int>(index), factor, fixed);
        }
        catch (const std::exception& e)
        {
            fail(e.what());
        }
    }
    PhysicalModelFluid fluid()
    {
        try
        {
            expect("density");
            const std::string densityKind = word();
            std::optional<PhysicalModelFluidDensity> density;
            if (densityKind == "constant")
                density = PhysicalModelFluidDensityConstant(number());
            else if (densityKind == "ideal-gas")
            {
                const double molecularWeight = number();
                const double pressure = number();
                const long long gauge = integer();
                density = PhysicalModelFluidDensityIdealGas(molecularWeight, pressure, gauge != 0);
            }
            else
                fail("unknown density model \"" + densityKind + "\"");
            expect("specific-heat");
            const std::string heatKind = word();
            if (heatKind == "constant")
                return PhysicalModelFluid(*density, PhysicalModelFluidSpecificHeatConstant(number()));
            if (heatKind != "curve")
                fail("unknown specific heat model \"" + heatKind + "\"");
            const long long count = integer();
            if (count < 0 || count > 100000)
                fail("curve point count " + std::to_string(count) + " is out of range");
            PhysicalModelFluidSpecificHeatTemperatureCurve curve;
            for (long long i = 0; i < count; ++i)
            {
                const double temperature = number();
                curve.addPoint(temperature, number());
            }
            return PhysicalModelFluid(*density, curve);
        }
        catch (const std::invalid_argument& e)
        {
            fail(e.what());
        }
    }

private:
    std::istringstream m_stream;
    std::string m_line;
    int m_number;
};
} // namespace

PhysicalModelStream::PhysicalModelStream(PhysicalModelFluid fluid) : m_fluid(std::move(fluid)) {}

void PhysicalModelStream::addInflow(double area, std::optional<PhysicalModelValue> temperature,
                                    std::optional<PhysicalModelValue> flow)
{
    m_inflows.push_back({area, std::move(temperature), std::move(flow)});
}

void PhysicalModelStream::addOutflow(double area, std::optional<PhysicalModelValue> temperature,
                                     std::optional<PhysicalModelValue> flow)
{
    m_outflows.push_back({area, std::move(temperature), std::move(flow)});
}

void PhysicalModel::addHeatSource(const PhysicalModelValue& power) { m_heatSources.push_back(power); }

void PhysicalModel::addStream(const PhysicalModelStream& stream) { m_streams.push_back(stream); }

void PhysicalModel::validate(int inputCount, int outputCount) const
{
    for (size_t i = 0; i < m_heatSources.size(); ++i)
        checkColumn(m_heatSources[i], inputCount, outputCount, "heat source " + std::to_string(i + 1));
    for (size_t s = 0; s < m_streams.size(); ++s)
    {
        const auto& stream = m_streams[s];
        const std::string name = "stream " + std::to_string(s + 1);
        const auto checkSide = [&](const std::vector<PhysicalModelFlow>& flows, const std::string& side) {
            for (size_t e = 0; e < flows.size(); ++e)
            {
                const std::string where = name + " " + side + " " + std::to_string(e + 1);
                if (!(flows[e].area >= 0.0) || !std::isfinite(flows[e].area))
                    throw std::invalid_argument("Physical model: " + where + " has the area " +
                                                std::to_string(flows[e].area));
                if (!flows[e].temperature)
                    throw std::invalid_argument("Physical model: " + where + " has no temperature");
                checkColumn(*flows[e].temperature, inputCount, outputCount, where + " temperature");
                if (flows[e].flow)
                    checkColumn(*flows[e].flow, inputCount, outputCount, where + " flow");
            }
        };
        checkSide(stream.getInflows(), "inflow");
        checkSide(stream.getOutflows(), "outflow");
        if (!allHaveFlow(stream.getInflows()) && !allHaveFlow(stream.getOutflows()))
            throw std::invalid_argument("Physical model: " + name +
                                        " needs a flow on all its inflows or on all its outflows");
    }
}

bool PhysicalModel::hasOutputTemperature() const
{
    for (const auto& stream : m_streams)
        for (const auto* side : {&stream.getInflows(), &stream.getOutflows()})
            for (const auto& flow : *side)
                if (flow.temperature && flow.temperature->getType() == PhysicalModelValueType::Output)
                    return true;
    return false;
}

std::string PhysicalModel::toText() const
{
    std::ostringstream out;
    out << std::setprecision(17) << TextHeader << '\n';
    for (const auto& source : m_heatSources)
    {
        out << "heat-source";
        writeValue(out, source);
        out << '\n';
    }
    for (const auto& stream : m_streams)
    {
        out << "stream";
        writeFluid(out, stream.getFluid());
        out << '\n';
        for (const auto& [side, flows] : {std::pair{"inflow", &stream.getInflows()}, {"outflow", &stream.getOutflows()}})
            for (const auto& flow : *flows)
            {
                out << side << ' ' << flow.area;
                writeValue(out, flow.temperature);
                writeValue(out, flow.flow);
                out << '\n';
            }
    }
    return out.str();
}

PhysicalModel PhysicalModel::fromText(const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    int number = 0;
    if (!std::getline(in, line) || line != TextHeader)
        throw std::runtime_error("Physical model text does not start with \"" + std::string(TextHeader) + "\"");
    ++number;
    PhysicalModel model;
    while (std::getline(in, line))
    {
        ++number;
        if (line.empty())
            continue;
        LineReader reader(line, number);
        const std::string kind = reader.word();
        if (kind == "heat-source")
        {
            const auto value = reader.value();
            if (!value)
                reader.fail("a heat source needs a value");
            model.addHeatSource(*value);
        }
        else if (kind == "stream")
            model.addStream(PhysicalModelStream(reader.fluid()));
        else if (kind == "inflow" || kind == "outflow")
        {
            if (model.m_streams.empty())
                reader.fail("an " + kind + " before any stream");
            const double area = reader.number();
            auto temperature = reader.value();
            auto flow = reader.value();
            if (kind == "inflow")
                model.m_streams.back().addInflow(area, std::move(temperature), std::move(flow));
            else
                model.m_streams.back().addOutflow(area, std::move(temperature), std::move(flow));
        }
        else
            reader.fail("unknown entry \"" + kind + "\"");
        reader.end();
    }
    return model;
}
} // namespace AISystem
