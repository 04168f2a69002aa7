// Training and testing data files: any text reads as a table or fails with a message.
#include "host/ai/tensor/TensorWithHeaders.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const bool hasHeaders : {true, false})
    {
        try
        {
            const AISystem::TensorWithHeaders table = AISystem::TensorWithHeaders::fromCSVText(
                text, "fuzz.csv", AISystem::TensorElementType::Double, hasHeaders);
            for (std::int64_t c = 0; c < table.getColumnCount(); ++c)
                table.getColumn(c);
        }
        catch (const std::runtime_error&)
        {
        }
    }
    return 0;
}
