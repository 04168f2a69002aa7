#include "fmu/NetworkDescription.h"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <tuple>

namespace ConfluxFmu
{
namespace
{
const char* const Header = "conflux-fmu-network 1";

std::string number(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The lines of the text, read one at a time, with a cursor over the current line's words.
class Reader
{
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    bool nextLine()
    {
        while (m_next < m_text.size() || (m_next == m_text.size() && !m_atEnd))
        {
            if (m_next == m_text.size())
            {
                m_atEnd = true;
                return false;
            }
            const size_t end = m_text.find('\n', m_next);
            const size_t stop = end == std::string_view::npos ? m_text.size() : end;
            m_line = m_text.substr(m_next, stop - m_next);
            m_next = end == std::string_view::npos ? m_text.size() : end + 1;
            ++m_number;
            m_at = 0;
            if (!blank())
                return true;
        }
        return false;
    }
    void requireLine(const char* what)
    {
        if (!nextLine())
            throw std::runtime_error("network file ends where " + std::string(what) + " was expected (after line " +
                                     std::to_string(m_number) + ")");
    }

    [[noreturn]] void fail(const std::string& what) const
    {
        throw std::runtime_error("network file, line " + std::to_string(m_number) + ": " + what);
    }

    std::string_view word()
    {
        skipSpace();
        const size_t start = m_at;
        while (m_at < m_line.size() && !isSpace(m_line[m_at]))
            ++m_at;
        if (start == m_at)
            fail("the line ends too early");
        return m_line.substr(start, m_at - start);
    }
    bool atLineEnd()
    {
        skipSpace();
        return m_at >= m_line.size();
    }
    void expect(std::string_view keyword)
    {
        const auto found = word();
        if (found != keyword)
            fail("\"" + std::string(keyword) + "\" expected, found \"" + std::string(found) + "\"");
    }
    double real()
    {
        const auto text = word();
        double value = 0.0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(value))
            fail("\"" + std::string(text) + "\" is not a finite number");
        return value;
    }
    long long integer(long long low, long long high)
    {
        const auto text = word();
        long long value = 0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        if (result.ec != std::errc() || result.ptr != text.data() + text.size())
            fail("\"" + std::string(text) + "\" is not a whole number");
        if (value < low || value > high)
            fail(std::to_string(value) + " is outside " + std::to_string(low) + " to " + std::to_string(high));
        return value;
    }
    std::string rest()
    {
        skipSpace();
        std::string_view text = m_line.substr(m_at);
        while (!text.empty() && isSpace(text.back()))
            text.remove_suffix(1);
        m_at = m_line.size();
        return std::string(text);
    }
    void end()
    {
        if (!atLineEnd())
            fail("unexpected \"" + std::string(word()) + "\"");
    }
    int lineNumber() const { return m_number; }

private:
    void skipSpace()
    {
        while (m_at < m_line.size() && isSpace(m_line[m_at]))
            ++m_at;
    }
    bool blank()
    {
        skipSpace();
        return m_at >= m_line.size();
    }

    std::string_view m_text;
    std::string_view m_line;
    size_t m_next = 0;
    size_t m_at = 0;
    int m_number = 0;
    bool m_atEnd = false;
};

// `count` numbers after the keyword, spread over as many lines as it takes.
std::vector<double> readValues(Reader& reader, std::string_view keyword, size_t count)
{
    reader.requireLine(std::string(keyword).c_str());
    reader.expect(keyword);
    std::vector<double> values;
    values.reserve(count);
    while (values.size() < count)
    {
        if (reader.atLineEnd())
            reader.requireLine("more values");
        values.push_back(reader.real());
    }
    reader.end();
    return values;
}

BalanceValue readValue(Reader& reader, int inputs, int outputs)
{
    const auto kind = reader.word();
    BalanceValue value;
    if (kind == "fixed")
    {
        value.kind = BalanceValue::Kind::Fixed;
        value.factor = reader.real();
        value.value = reader.real();
        return value;
    }
    if (kind == "input")
    {
        value.kind = BalanceValue::Kind::Input;
        value.index = static_cast<int>(reader.integer(0, inputs - 1));
    }
    else if (kind == "output")
    {
        value.kind = BalanceValue::Kind::Output;
        value.index = static_cast<int>(reader.integer(0, outputs - 1));
    }
    else
        reader.fail("unknown value kind \"" + std::string(kind) + "\" (fixed, input or output expected)");
    value.factor = reader.real();
    return value;
}

void writeValue(std::string& out, const BalanceValue& value)
{
    switch (value.kind)
    {
    case BalanceValue::Kind::Fixed:
        out += " fixed " + number(value.factor) + ' ' + number(value.value);
        return;
    case BalanceValue::Kind::Input:
        out += " input " + std::to_string(value.index) + ' ' + number(value.factor);
        return;
    case BalanceValue::Kind::Output:
        out += " output " + std::to_string(value.index) + ' ' + number(value.factor);
        return;
    }
}

std::string cleanName(const std::string& name)
{
    std::string clean = name;
    for (char& c : clean)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return clean;
}

void checkFinite(double value, const std::string& what)
{
    if (!std::isfinite(value))
        throw std::invalid_argument("Network description: " + what + " is " + number(value));
}

void checkValue(const BalanceValue& value, const NetworkDescription& d, const std::string& where)
{
    checkFinite(value.factor, where + " factor");
    checkFinite(value.value, where + " value");
    switch (value.kind)
    {
    case BalanceValue::Kind::Fixed:
        return;
    case BalanceValue::Kind::Input:
        if (value.index < 0 || value.index >= static_cast<int>(d.inputs.size()))
            throw std::invalid_argument("Network description: " + where + " refers to input " +
                                        std::to_string(value.index) + " of " + std::to_string(d.inputs.size()));
        return;
    case BalanceValue::Kind::Output:
        if (value.index < 0 || value.index >= static_cast<int>(d.outputs.size()))
            throw std::invalid_argument("Network description: " + where + " refers to output " +
                                        std::to_string(value.index) + " of " + std::to_string(d.outputs.size()));
        return;
    }
}
} // namespace

void validateNetworkDescription(const NetworkDescription& d)
{
    if (d.token.empty() || d.token.find_first_of(" \t\r\n") != std::string::npos)
        throw std::invalid_argument("Network description: the token \"" + d.token +
                                    "\" must be one word without blanks");
    if (d.inputs.empty() || d.outputs.empty() || d.inputs.size() > MaxColumns || d.outputs.size() > MaxColumns)
        throw std::invalid_argument("Network description: " + std::to_string(d.inputs.size()) + " inputs and " +
                                    std::to_string(d.outputs.size()) + " outputs (1 to " +
                                    std::to_string(MaxColumns) + " each expected)");
    for (const auto& input : d.inputs)
    {
        for (double v : {input.min, input.max, input.start, input.unitFactor, input.unitOffset, input.normOffset,
                         input.normScale})
            checkFinite(v, "a value of input '" + input.name + "'");
        if (!(input.min <= input.start && input.start <= input.max))
            throw std::invalid_argument("Network description: input '" + input.name + "' has start " +
                                        number(input.start) + " outside its bounds " + number(input.min) + " to " +
                                        number(input.max));
        if (input.unitFactor == 0.0 || input.normScale == 0.0)
            throw std::invalid_argument("Network description: input '" + input.name + "' has a zero scale");
    }
    for (const auto& output : d.outputs)
        for (double v : {output.normOffset, output.normScale, output.unitFactor, output.unitOffset})
            checkFinite(v, "a value of output '" + output.name + "'");
    if (d.layers.empty())
        throw std::invalid_argument("Network description: the network has no layers");
    int width = static_cast<int>(d.inputs.size());
    for (size_t l = 0; l < d.layers.size(); ++l)
    {
        const auto& layer = d.layers[l];
        const std::string name = "layer " + std::to_string(l + 1);
        if (layer.inputs != width || layer.outputs < 1 || layer.outputs > MaxColumns)
            throw std::invalid_argument("Network description: " + name + " takes " + std::to_string(layer.inputs) +
                                        " values and gives " + std::to_string(layer.outputs) + "; " +
                                        std::to_string(width) + " inputs expected");
        if (static_cast<std::size_t>(layer.inputs) * static_cast<std::size_t>(layer.outputs) > MaxLayerValues ||
            layer.weights.size() != static_cast<size_t>(layer.inputs) * static_cast<size_t>(layer.outputs) ||
            layer.bias.size() != static_cast<size_t>(layer.outputs))
            throw std::invalid_argument("Network description: " + name + " has " +
                                        std::to_string(layer.weights.size()) + " weights and " +
                                        std::to_string(layer.bias.size()) + " biases for " +
                                        std::to_string(layer.inputs) + " inputs and " +
                                        std::to_string(layer.outputs) + " outputs");
        for (double v : layer.weights)
            checkFinite(v, "a weight of " + name);
        for (double v : layer.bias)
            checkFinite(v, "a bias of " + name);
        width = layer.outputs;
    }
    if (width != static_cast<int>(d.outputs.size()))
        throw std::invalid_argument("Network description: the last layer gives " + std::to_string(width) +
                                    " values for " + std::to_string(d.outputs.size()) + " outputs");
    if (!d.balance)
        return;
    for (const auto& output : d.outputs)
        if (output.unitFactor == 0.0)
            throw std::invalid_argument("Network description: output '" + output.name +
                                        "' has a zero factor, so the balance cannot take it back");
    for (size_t i = 0; i < d.balance->heatSources.size(); ++i)
        checkValue(d.balance->heatSources[i], d, "heat source " + std::to_string(i + 1));
    for (size_t s = 0; s < d.balance->streams.size(); ++s)
    {
        const auto& stream = d.balance->streams[s];
        const std::string name = "stream " + std::to_string(s + 1);
        const auto& fluid = stream.fluid;
        if (fluid.idealGas ? !(fluid.molecularWeight > 0.0 && fluid.absolutePressure > 0.0) : !(fluid.density > 0.0))
            throw std::invalid_argument("Network description: " + name + " has a fluid without a positive density");
        checkFinite(fluid.density + fluid.molecularWeight + fluid.absolutePressure, name + " fluid");
        if (fluid.specificHeat.empty())
            throw std::invalid_argument("Network description: " + name + " has no specific heat");
        for (size_t p = 0; p < fluid.specificHeat.size(); ++p)
        {
            checkFinite(fluid.specificHeat[p].first, name + " specific heat temperature");
            checkFinite(fluid.specificHeat[p].second, name + " specific heat");
            if (p > 0 && !(fluid.specificHeat[p].first > fluid.specificHeat[p - 1].first))
                throw std::invalid_argument("Network description: " + name +
                                            " specific heat temperatures do not increase");
        }
        bool allIn = true;
        bool allOut = true;
        for (const auto& [flows, side, all] :
             {std::tuple{&stream.inflows, "inflow", &allIn}, std::tuple{&stream.outflows, "outflow", &allOut}})
            for (size_t e = 0; e < flows->size(); ++e)
            {
                const auto& flow = (*flows)[e];
                const std::string where = name + " " + side + " " + std::to_string(e + 1);
                if (!(flow.area >= 0.0) || !std::isfinite(flow.area))
                    throw std::invalid_argument("Network description: " + where + " has the area " +
                                                number(flow.area));
                checkValue(flow.temperature, d, where + " temperature");
                if (flow.flow)
                    checkValue(*flow.flow, d, where + " flow");
                else
                    *all = false;
            }
        if (!allIn && !allOut)
            throw std::invalid_argument("Network description: " + name +
                                        " needs a flow on all its inflows or on all its outflows");
    }
}

std::string writeNetworkDescription(const NetworkDescription& d)
{
    validateNetworkDescription(d);
    std::string out = std::string(Header) + '\n';
    out += "token " + d.token + '\n';
    out += std::string("element ") + (d.singlePrecision ? "float" : "double") + '\n';
    out += "inputs " + std::to_string(d.inputs.size()) + '\n';
    for (const auto& input : d.inputs)
        out += "input " + number(input.min) + ' ' + number(input.max) + ' ' + number(input.start) + ' ' +
               number(input.unitFactor) + ' ' + number(input.unitOffset) + ' ' + number(input.normOffset) + ' ' +
               number(input.normScale) + ' ' + cleanName(input.name) + '\n';
    out += "outputs " + std::to_string(d.outputs.size()) + '\n';
    for (const auto& output : d.outputs)
        out += "output " + number(output.normOffset) + ' ' + number(output.normScale) + ' ' +
               number(output.unitFactor) + ' ' + number(output.unitOffset) + ' ' + cleanName(output.name) + '\n';
    out += "layers " + std::to_string(d.layers.size()) + '\n';
    for (const auto& layer : d.layers)
    {
        out += "layer " + std::to_string(layer.inputs) + ' ' + std::to_string(layer.outputs) + ' ';
        switch (layer.activation)
        {
        case Activation::Linear:
            out += "linear\n";
            break;
        case Activation::Tanh:
            out += "tanh\n";
            break;
        }
        for (const auto& [keyword, values] : {std::pair{"weights", &layer.weights}, std::pair{"bias", &layer.bias}})
        {
            out += keyword;
            for (size_t i = 0; i < values->size(); ++i)
                out += ((i % 8 == 0 && i > 0) ? "\n " : " ") + number((*values)[i]);
            out += '\n';
        }
    }
    if (!d.balance)
        out += "balance none\n";
    else
    {
        out += d.balance->conserve ? "balance conserve\n" : "balance imbalance\n";
        for (const auto& source : d.balance->heatSources)
        {
            out += "heat-source";
            writeValue(out, source);
            out += '\n';
        }
        for (const auto& stream : d.balance->streams)
        {
            const auto& fluid = stream.fluid;
            out += "stream ";
            out += fluid.idealGas ? "ideal-gas " + number(fluid.molecularWeight) + ' ' + number(fluid.absolutePressure)
                                  : "constant " + number(fluid.density);
            out += " specific-heat " + std::to_string(fluid.specificHeat.size());
            for (const auto& [t, cp] : fluid.specificHeat)
                out += ' ' + number(t) + ' ' + number(cp);
            out += '\n';
            for (const auto& [side, flows] : {std::pair{"inflow", &stream.inflows}, {"outflow", &stream.outflows}})
                for (const auto& flow : *flows)
                {
                    out += std::string(side) + ' ' + number(flow.area);
                    writeValue(out, flow.temperature);
                    if (flow.flow)
                        writeValue(out, *flow.flow);
                    else
                        out += " none";
                    out += '\n';
                }
        }
    }
    out += "end\n";
    return out;
}

NetworkDescription parseNetworkDescription(std::string_view text)
{
    if (text.size() > MaxNetworkFileBytes)
        throw std::runtime_error("network file has " + std::to_string(text.size()) + " bytes, more than the limit of " +
                                 std::to_string(MaxNetworkFileBytes));
    Reader reader(text);
    NetworkDescription d;
    reader.requireLine("the header");
    if (reader.rest() != Header)
        reader.fail("\"" + std::string(Header) + "\" expected (a newer or unknown format)");
    reader.requireLine("the token");
    reader.expect("token");
    d.token = std::string(reader.word());
    reader.end();
    reader.requireLine("the element type");
    reader.expect("element");
    const auto element = reader.word();
    if (element != "double" && element != "float")
        reader.fail("element type \"" + std::string(element) + "\" is neither double nor float");
    d.singlePrecision = element == "float";
    reader.end();

    reader.requireLine("the input count");
    reader.expect("inputs");
    const auto inputCount = reader.integer(1, MaxColumns);
    reader.end();
    for (long long i = 0; i < inputCount; ++i)
    {
        reader.requireLine("an input");
        reader.expect("input");
        NetworkInput input;
        input.min = reader.real();
        input.max = reader.real();
        input.start = reader.real();
        input.unitFactor = reader.real();
        input.unitOffset = reader.real();
        input.normOffset = reader.real();
        input.normScale = reader.real();
        input.name = reader.rest();
        d.inputs.push_back(std::move(input));
    }
    reader.requireLine("the output count");
    reader.expect("outputs");
    const auto outputCount = reader.integer(1, MaxColumns);
    reader.end();
    for (long long i = 0; i < outputCount; ++i)
    {
        reader.requireLine("an output");
        reader.expect("output");
        NetworkOutput output;
        output.normOffset = reader.real();
        output.normScale = reader.real();
        output.unitFactor = reader.real();
        output.unitOffset = reader.real();
        output.name = reader.rest();
        d.outputs.push_back(std::move(output));
    }

    reader.requireLine("the layer count");
    reader.expect("layers");
    const auto layerCount = reader.integer(1, 1000);
    reader.end();
    long long width = inputCount;
    std::size_t total = 0;
    for (long long l = 0; l < layerCount; ++l)
    {
        reader.requireLine("a layer");
        reader.expect("layer");
        NetworkLayer layer;
        layer.inputs = static_cast<int>(reader.integer(width, width));
        layer.outputs = static_cast<int>(reader.integer(1, MaxColumns));
        const auto activation = reader.word();
        if (activation == "tanh")
            layer.activation = Activation::Tanh;
        else if (activation == "linear")
            layer.activation = Activation::Linear;
        else
            reader.fail("unknown activation \"" + std::string(activation) + "\" (tanh or linear expected)");
        reader.end();
        const std::size_t count = static_cast<std::size_t>(layer.inputs) * static_cast<std::size_t>(layer.outputs);
        total += count;
        if (total > MaxLayerValues)
            reader.fail("the network has more than " + std::to_string(MaxLayerValues) + " weights");
        layer.weights = readValues(reader, "weights", count);
        layer.bias = readValues(reader, "bias", static_cast<std::size_t>(layer.outputs));
        width = layer.outputs;
        d.layers.push_back(std::move(layer));
    }
    if (width != outputCount)
        reader.fail("the last layer gives " + std::to_string(width) + " values for " + std::to_string(outputCount) +
                    " outputs");

    reader.requireLine("the balance");
    reader.expect("balance");
    const auto balance = reader.word();
    reader.end();
    if (balance == "imbalance" || balance == "conserve")
        d.balance = Balance{{}, {}, balance == "conserve"};
    else if (balance != "none")
        reader.fail("unknown balance \"" + std::string(balance) + "\" (none, imbalance or conserve expected)");
    const int inputs = static_cast<int>(inputCount);
    const int outputs = static_cast<int>(outputCount);
    for (;;)
    {
        reader.requireLine("\"end\"");
        const auto keyword = reader.word();
        if (keyword == "end")
        {
            reader.end();
            break;
        }
        if (!d.balance)
            reader.fail("\"end\" expected after \"balance none\"");
        if (keyword == "heat-source")
            d.balance->heatSources.push_back(readValue(reader, inputs, outputs));
        else if (keyword == "stream")
        {
            if (d.balance->streams.size() >= 1000)
                reader.fail("too many streams");
            BalanceStream stream;
            const auto density = reader.word();
            if (density == "constant")
                stream.fluid.density = reader.real();
            else if (density == "ideal-gas")
            {
                stream.fluid.idealGas = true;
                stream.fluid.molecularWeight = reader.real();
                stream.fluid.absolutePressure = reader.real();
            }
            else
                reader.fail("unknown density model \"" + std::string(density) + "\"");
            reader.expect("specific-heat");
            const auto points = reader.integer(1, 10000);
            for (long long p = 0; p < points; ++p)
            {
                const double t = reader.real();
                stream.fluid.specificHeat.emplace_back(t, reader.real());
            }
            d.balance->streams.push_back(std::move(stream));
        }
        else if (keyword == "inflow" || keyword == "outflow")
        {
            if (d.balance->streams.empty())
                reader.fail("\"" + std::string(keyword) + "\" before any stream");
            auto& stream = d.balance->streams.back();
            auto& flows = keyword == "inflow" ? stream.inflows : stream.outflows;
            if (flows.size() >= 10000)
                reader.fail("too many " + std::string(keyword) + "s");
            BalanceFlow flow;
            flow.area = reader.real();
            flow.temperature = readValue(reader, inputs, outputs);
            reader.atLineEnd();
            // A flow value or "none".
            {
                Reader probe = reader;
                if (probe.word() == "none")
                    reader.word();
                else
                    flow.flow = readValue(reader, inputs, outputs);
            }
            flows.push_back(std::move(flow));
        }
        else
            reader.fail("unknown entry \"" + std::string(keyword) + "\"");
        reader.end();
    }
    if (reader.nextLine())
        reader.fail("nothing may follow \"end\"");
    try
    {
        validateNetworkDescription(d);
    }
    catch (const std::invalid_argument& e)
    {
        throw std::runtime_error(std::string("network file: ") + e.what());
    }
    return d;
}
} // namespace ConfluxFmu
