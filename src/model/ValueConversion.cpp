#include "src/model/ValueConversion.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

namespace Conflux::Model
{
namespace
{
std::string printfF(double value)
{
    const int size = std::snprintf(nullptr, 0, "%f", value);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, "%f", value);
    return text;
}

// Truncation toward zero without the undefined behaviour of casting NaN or out-of-range values.
int truncateToInt(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

float narrow(double value)
{
    if (std::isfinite(value) && std::fabs(value) > static_cast<double>(std::numeric_limits<float>::max()))
        return value > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

double textToDouble(const std::string& text)
{
    try
    {
        return std::stod(text);
    }
    catch (const std::exception&)
    {
        return 0.0;
    }
}

float textToFloat(const std::string& text)
{
    try
    {
        return std::stof(text);
    }
    catch (const std::exception&)
    {
        return 0.0f;
    }
}

int textToInt(const std::string& text)
{
    try
    {
        return std::stoi(text, nullptr, 10);
    }
    catch (const std::exception&)
    {
        return 0;
    }
}
} // namespace

bool textToBool(const std::string& text)
{
    if (text.empty())
        return false;
    const auto first = static_cast<unsigned char>(text.front());
    if (std::isalpha(first))
        return text != "No" && text != "False";
    if (std::isdigit(first))
        return textToInt(text) != 0;
    return true;
}

// double
template <> double convertValue<double, double>(const double& v) { return v; }
template <> float convertValue<float, double>(const double& v) { return narrow(v); }
template <> int convertValue<int, double>(const double& v) { return truncateToInt(v); }
template <> bool convertValue<bool, double>(const double& v) { return v != 0; }
template <> std::string convertValue<std::string, double>(const double& v) { return printfF(v); }
template <> double convertValue<double, float>(const float& v) { return v; }
template <> double convertValue<double, int>(const int& v) { return v; }
template <> double convertValue<double, bool>(const bool& v) { return v ? 1.0 : 0.0; }
template <> double convertValue<double, std::string>(const std::string& v) { return textToDouble(v); }

// float
template <> float convertValue<float, float>(const float& v) { return v; }
template <> int convertValue<int, float>(const float& v) { return truncateToInt(v); }
template <> bool convertValue<bool, float>(const float& v) { return v != 0; }
template <> std::string convertValue<std::string, float>(const float& v) { return printfF(v); }
template <> float convertValue<float, int>(const int& v) { return static_cast<float>(v); }
template <> float convertValue<float, bool>(const bool& v) { return v ? 1.0f : 0.0f; }
template <> float convertValue<float, std::string>(const std::string& v) { return textToFloat(v); }

// int
template <> int convertValue<int, int>(const int& v) { return v; }
template <> bool convertValue<bool, int>(const int& v) { return v != 0; }
template <> std::string convertValue<std::string, int>(const int& v) { return std::to_string(v); }
template <> int convertValue<int, bool>(const bool& v) { return v ? 1 : 0; }
template <> int convertValue<int, std::string>(const std::string& v) { return textToInt(v); }

// bool
template <> bool convertValue<bool, bool>(const bool& v) { return v; }
template <> std::string convertValue<std::string, bool>(const bool& v) { return v ? "Yes" : "No"; }
template <> bool convertValue<bool, std::string>(const std::string& v) { return textToBool(v); }

// string
template <> std::string convertValue<std::string, std::string>(const std::string& v) { return v; }
} // namespace Conflux::Model
