// The binary and readable data streams reading a solver record and an exchange model: never a
// crash or a huge allocation, whatever the bytes, and only the throw the model reader documents.
#include "host/ai/modules/AISolverInfo.h"
#include "host/filesystem/BinaryDataIStream.h"
#include "host/filesystem/TextDataIStream.h"
#include "src/model/EntityCollection.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>

namespace
{
void readAll(FileSystem::DataIStream& stream)
{
    AISystem::AISolverInfo info;
    stream >> info;
    // Whatever follows the record, as primitives.
    std::string text;
    Utilities::bytearray bytes;
    stream >> text >> bytes;
    stream.read<double>();
    stream.read<std::int64_t>();
}

template <class Stream> void readBoth(const std::string& bytes)
{
    {
        std::istringstream in(bytes);
        Stream stream(in);
        readAll(stream);
    }
    std::istringstream in(bytes);
    Stream stream(in);
    Conflux::Model::EntityCollection collection;
    try
    {
        collection.read(stream);
    }
    catch (const std::logic_error&)
    {
        // A value type that does not exist: the reader's documented refusal.
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    readBoth<FileSystem::BinaryDataIStream>(bytes);
    readBoth<FileSystem::TextDataIStream>(bytes);
    return 0;
}
