#include "host/ai/modules/AISolverInfo.h"

#include "host/filesystem/DataIStream.h"
#include "host/filesystem/DataOStream.h"

#include <algorithm>
#include <string>
#include <utility>

namespace AISystem
{
namespace
{
// Room set aside before reading; more comes only as the values arrive.
constexpr std::uint64_t maxReserved = 4096;

void writeValues(FileSystem::DataOStream& stream, const std::string& name, const std::vector<double>& values)
{
    stream.field(name + "Count", static_cast<std::uint64_t>(values.size()));
    for (double value : values)
        stream << value;
}

void writeTransform(FileSystem::DataOStream& stream, const std::string& name,
                    const std::optional<TensorScalingTransform>& transform)
{
    stream.openTag(name);
    stream.field("Present", transform.has_value());
    if (transform)
    {
        writeValues(stream, "Factor", transform->getFactors());
        writeValues(stream, "Offset", transform->getOffsets());
    }
    stream.closeTag(name);
}

void writeBounds(FileSystem::DataOStream& stream, const std::string& name, const TensorBounds& bounds)
{
    stream.openTag(name);
    stream.field("Count", static_cast<std::uint64_t>(bounds.size()));
    for (std::int64_t i = 0; i < bounds.size(); ++i)
        stream << std::get<float>(bounds.getMinima().getElementValue(i))
               << std::get<float>(bounds.getMaxima().getElementValue(i));
    stream.closeTag(name);
}

// A count comes from the stream and may be anything: the vector grows only by what was actually
// read, so a text stream (which cannot tell what remains) never sizes it from the count alone.
template <class T, class ReadOne>
std::vector<T> readCounted(FileSystem::DataIStream& stream, std::uint64_t count, std::uint64_t bytesEach,
                           ReadOne readOne)
{
    std::vector<T> values;
    if (!stream.checkCount(count, bytesEach))
        return values;
    values.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, maxReserved)));
    for (std::uint64_t i = 0; i < count && stream.good(); ++i)
        values.push_back(readOne());
    if (stream.fail())
        values.clear();
    return values;
}

std::vector<double> readValues(FileSystem::DataIStream& stream, const std::string& name)
{
    std::uint64_t count = 0;
    stream.field(name + "Count", count);
    return readCounted<double>(stream, count, sizeof(double), [&] { return stream.read<double>(); });
}

std::optional<TensorScalingTransform> readTransform(FileSystem::DataIStream& stream, const std::string& name)
{
    stream.openTag(name);
    bool present = false;
    stream.field("Present", present);
    std::optional<TensorScalingTransform> transform;
    if (present)
    {
        std::vector<double> factors = readValues(stream, "Factor");
        std::vector<double> offsets = readValues(stream, "Offset");
        if (factors.size() != offsets.size())
            stream.setFailed("AISolverInfo " + name + ": " + std::to_string(factors.size()) +
                             " factors but " + std::to_string(offsets.size()) + " offsets");
        if (stream.fail())
            return std::nullopt;
        const auto size = static_cast<std::int64_t>(factors.size());
        transform.emplace(Tensor::fromValues({size}, std::move(factors)),
                          Tensor::fromValues({size}, std::move(offsets)));
    }
    stream.closeTag(name);
    return transform;
}

TensorBounds readBounds(FileSystem::DataIStream& stream, const std::string& name)
{
    stream.openTag(name);
    std::uint64_t count = 0;
    stream.field("Count", count);
    const std::vector<std::pair<float, float>> pairs =
        readCounted<std::pair<float, float>>(stream, count, 2 * sizeof(float),
                                             [&]
                                             {
                                                 const float minimum = stream.read<float>();
                                                 return std::make_pair(minimum, stream.read<float>());
                                             });
    std::vector<float> minima;
    std::vector<float> maxima;
    for (const auto& [minimum, maximum] : pairs)
    {
        minima.push_back(minimum);
        maxima.push_back(maximum);
    }
    stream.closeTag(name);
    if (stream.fail() || count == 0)
        return {};
    const auto size = static_cast<std::int64_t>(count);
    return TensorBounds(Tensor::fromValues({size}, std::move(minima)),
                        Tensor::fromValues({size}, std::move(maxima)));
}

bool isModuleType(std::int32_t value)
{
    switch (static_cast<ModuleType>(value))
    {
    case ModuleType::None:
    case ModuleType::Trivial:
    case ModuleType::NeuralNetwork:
    case ModuleType::TorchScript:
    case ModuleType::ONNX:
    case ModuleType::Python:
    case ModuleType::Transformed:
        return true;
    }
    return false;
}
} // namespace

FileSystem::DataOStream& operator<<(FileSystem::DataOStream& stream, const AISolverInfo& info)
{
    stream.openTag("AISolverInfo");
    stream.field("ModuleType", static_cast<std::int32_t>(info.moduleType));
    stream.field("ModelData", info.modelData);
    writeTransform(stream, "InputTransform", info.inputTransform);
    writeBounds(stream, "InputBounds", info.inputBounds);
    writeTransform(stream, "OutputTransform", info.outputTransform);
    writeBounds(stream, "OutputBounds", info.outputBounds);
    stream.closeTag("AISolverInfo");
    return stream;
}

FileSystem::DataIStream& operator>>(FileSystem::DataIStream& stream, AISolverInfo& info)
{
    AISolverInfo read;
    stream.openTag("AISolverInfo");
    std::int32_t type = 0;
    stream.field("ModuleType", type);
    if (stream.good() && !isModuleType(type))
        stream.setFailed("AISolverInfo: unknown module type " + std::to_string(type));
    read.moduleType = static_cast<ModuleType>(type);
    stream.field("ModelData", read.modelData);
    read.inputTransform = readTransform(stream, "InputTransform");
    read.inputBounds = readBounds(stream, "InputBounds");
    read.outputTransform = readTransform(stream, "OutputTransform");
    read.outputBounds = readBounds(stream, "OutputBounds");
    stream.closeTag("AISolverInfo");
    if (stream.good())
        info = std::move(read);
    return stream;
}
} // namespace AISystem
