#pragma once
// Text forms of the node kinds, used as element names of the exchange document, in stream
// records and in the declared exchange types of the project's attributes.
#include "src/model/sdk/Types.h"

#include <string>

namespace Conflux
{
/// "Integer", "Boolean", "String", "Float", "Composite", "Entity", "Link", "List", "Shortcut",
/// "Array", "Double"; any other number gives "Unknown".
std::string attributeTypeToString(TesseraSDK::AttributeType type);
/// The kind named by `text` (compared without regard to case, surrounding blanks ignored), or
/// `fallback` when the text names none (an empty text included).
TesseraSDK::AttributeType attributeTypeFromString(const std::string& text, TesseraSDK::AttributeType fallback);
} // namespace Conflux
