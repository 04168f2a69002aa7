#include "src/model/AttributeType.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace Conflux
{
namespace
{
using TesseraSDK::AttributeType;

constexpr std::array<std::pair<AttributeType, const char*>, 11> names{{
    {AttributeType::Integer, "Integer"},
    {AttributeType::Boolean, "Boolean"},
    {AttributeType::String, "String"},
    {AttributeType::Float, "Float"},
    {AttributeType::Composite, "Composite"},
    {AttributeType::Entity, "Entity"},
    {AttributeType::Link, "Link"},
    {AttributeType::List, "List"},
    {AttributeType::Shortcut, "Shortcut"},
    {AttributeType::Array, "Array"},
    {AttributeType::Double, "Double"},
}};

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}
} // namespace

std::string attributeTypeToString(TesseraSDK::AttributeType type)
{
    for (const auto& [value, name] : names)
        if (value == type)
            return name;
    return "Unknown";
}

TesseraSDK::AttributeType attributeTypeFromString(const std::string& text, TesseraSDK::AttributeType fallback)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return fallback;
    const auto last = text.find_last_not_of(" \t\r\n");
    const std::string wanted = lower(text.substr(first, last - first + 1));
    for (const auto& [value, name] : names)
        if (lower(name) == wanted)
            return value;
    return fallback;
}
} // namespace Conflux
