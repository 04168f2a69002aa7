// Project files: any bytes load as a project or fail with a message naming what is wrong.
#include "host/entitymodel/ProjectFile.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try
    {
        const QByteArray json(reinterpret_cast<const char*>(data), static_cast<int>(size));
        const auto project = EntityModel::ProjectFile::fromJson(json, "fuzz.json");
        EntityModel::ProjectFile::toJson(*project);
    }
    catch (const std::runtime_error&)
    {
    }
    return 0;
}
