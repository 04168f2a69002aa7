#pragma once
// Reading values of a composite (or entity) by path. Each function returns its default when the
// owner is null, the attribute is absent, or it holds no value of that kind.
#include "host/entitymodel/AttributePath.h"
#include "host/entitymodel/TypeRef.h"
#include "host/filesystem/ByteArray.h"

#include <string>
#include <vector>

namespace EntityModel
{
class Attribute;
class CompositeAttribute;
class Entity;

std::string getStringValue(const CompositeAttribute* owner, const AttributePath& path,
                           const std::string& defaultValue = {});
/// Booleans; type attributes read true for `Yes`.
bool getBoolValue(const CompositeAttribute* owner, const AttributePath& path, bool defaultValue = false);
int getIntValue(const CompositeAttribute* owner, const AttributePath& path, int defaultValue = 0);
/// A double (or curve's value) in a unit of its quantity; an empty unit is the standard unit.
/// A unit the quantity does not have gives the default.
double getDoubleValue(const CompositeAttribute* owner, const AttributePath& path, const std::string& unit,
                      double defaultValue);
double getDoubleValue(const CompositeAttribute* owner, const AttributePath& path, double defaultValue = 0.0);
/// The value in standard units (doubles, curves, integers).
double getStandardDoubleValue(const CompositeAttribute* owner, const AttributePath& path,
                              double defaultValue = 0.0);
TypeRef getTypeValue(const CompositeAttribute* owner, const AttributePath& path, TypeRef defaultValue = {});
Utilities::bytearray getByteArrayValue(const CompositeAttribute* owner, const AttributePath& path,
                                       const Utilities::bytearray& defaultValue = {});
/// True when the attribute at path is a type attribute (or a shortcut to one) set to value.
bool hasAttributeSetTo(const CompositeAttribute* owner, const AttributePath& path, TypeRef value);
/// The first entity linked at path, or null.
Entity* getLinkedEntity(const CompositeAttribute* owner, const AttributePath& path);
/// Every entity linked at path (empty when absent).
std::vector<Entity*> getLinkedEntities(const CompositeAttribute* owner, const AttributePath& path);
/// The attribute at path with shortcuts followed to their final target; an attribute that is not a
/// shortcut is its own target. Null when absent or when a shortcut leads nowhere.
Attribute* getShortcutTarget(const CompositeAttribute* owner, const AttributePath& path);
Attribute* getShortcutTarget(Attribute* attribute);
} // namespace EntityModel
