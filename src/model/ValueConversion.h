#pragma once
// Conversions between the stored type of a value attribute and the type a caller asks for.
#include <string>

namespace Conflux::Model
{
/// `value` as To, by the exchange's conversion table: numbers to text with printf "%f" (integers
/// in decimal), booleans to "Yes"/"No", text to numbers by std::stod/stof/stoi (0 when the text is
/// no number), text to boolean by the boolean text rule, numbers to boolean as "not 0", floating
/// values to int truncated toward zero (NaN gives 0, values beyond int's range its nearest bound).
template <class To, class From>
To convertValue(const From& value);

template <> double convertValue<double, double>(const double&);
template <> float convertValue<float, double>(const double&);
template <> int convertValue<int, double>(const double&);
template <> bool convertValue<bool, double>(const double&);
template <> std::string convertValue<std::string, double>(const double&);
template <> double convertValue<double, float>(const float&);
template <> double convertValue<double, int>(const int&);
template <> double convertValue<double, bool>(const bool&);
template <> double convertValue<double, std::string>(const std::string&);
template <> float convertValue<float, float>(const float&);
template <> int convertValue<int, float>(const float&);
template <> bool convertValue<bool, float>(const float&);
template <> std::string convertValue<std::string, float>(const float&);
template <> float convertValue<float, int>(const int&);
template <> float convertValue<float, bool>(const bool&);
template <> float convertValue<float, std::string>(const std::string&);
template <> int convertValue<int, int>(const int&);
template <> bool convertValue<bool, int>(const int&);
template <> std::string convertValue<std::string, int>(const int&);
template <> int convertValue<int, bool>(const bool&);
template <> int convertValue<int, std::string>(const std::string&);
template <> bool convertValue<bool, bool>(const bool&);
template <> std::string convertValue<std::string, bool>(const bool&);
template <> bool convertValue<bool, std::string>(const std::string&);
template <> std::string convertValue<std::string, std::string>(const std::string&);

/// The boolean text rule: empty is false; a text starting with a letter is false only when it is
/// exactly "No" or "False"; one starting with a digit is read as a decimal integer (true when not 0,
/// false when unreadable); any other first character gives true.
bool textToBool(const std::string& text);
} // namespace Conflux::Model
