// The weights file of an exported FMU, as the runtime reads it inside an importer's process: any
// bytes are read or refused with a message, and what is read evaluates at its start values.
#include "fmu/NetworkDescription.h"
#include "fmu/SurrogateModel.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try
    {
        const auto description =
            ConfluxFmu::parseNetworkDescription(std::string_view(reinterpret_cast<const char*>(data), size));
        const ConfluxFmu::SurrogateModel model(description);
        ConfluxFmu::SurrogateModel::Workspace workspace(model);
        std::vector<double> inputs;
        for (const auto& input : description.inputs)
            inputs.push_back(input.start);
        std::vector<double> results(static_cast<std::size_t>(model.resultCount()));
        model.evaluate(inputs.data(), results.data(), workspace);
    }
    catch (const std::runtime_error&)
    {
    }
    catch (const std::invalid_argument&)
    {
    }
    return 0;
}
