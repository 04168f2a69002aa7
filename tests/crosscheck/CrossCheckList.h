#pragma once
// Test support shared by the cross-check programs: the model lists (one line a model: its path, its
// input width and its element type; '#' starts a comment), whether ONNX Runtime's outputs are
// required, and reading them.
#include "host/ai/tensor/TensorWithHeaders.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace CrossCheck
{
struct Entry
{
    std::string model;
    std::int64_t width = 0;
    std::string type;
};

inline void PrintTo(const Entry& entry, std::ostream* out)
{
    *out << entry.model;
}

/// The entries of a list file of tests/crosscheck.
inline std::vector<Entry> readList(const std::string& listFile)
{
    std::vector<Entry> entries;
    std::ifstream list(CONFLUX_SOURCE_ROOT "/tests/crosscheck/" + listFile);
    for (std::string line; std::getline(list, line);)
    {
        std::istringstream fields(line);
        Entry entry;
        if (line.empty() || line[0] == '#' || !(fields >> entry.model >> entry.width >> entry.type))
            continue;
        entries.push_back(entry);
    }
    return entries;
}

/// True under `make crosscheck` (CONFLUX_CROSSCHECK_REQUIRED=1): missing outputs then fail instead of skip.
inline bool required()
{
    const char* value = std::getenv("CONFLUX_CROSSCHECK_REQUIRED");
    return value != nullptr && std::string(value) == "1";
}

inline AISystem::Tensor readCSV(const std::filesystem::path& path, AISystem::TensorElementType type)
{
    return AISystem::TensorWithHeaders::fromCSVFile(path.string(), type, false).getTensor().toElementType(type);
}
} // namespace CrossCheck
