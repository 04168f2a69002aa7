#pragma once
#include "host/entitymodel/AttributePath.h"

namespace EntityModel
{
class Attribute;
class CompositeAttribute;
class Entity;

/// The derived functions of AI model input/output items and shared library entities, registered
/// when the library is loaded: aiModelAttribute, aiModelSelectedAttribute, aiModelSelectedPath,
/// aiModelValue, aiModelUnit and sharedLibraryPath.
namespace AIModelDerivedFunctions
{
/// The candidate (an AI Model Attribute entity of the item's list, kept by the AI model calculator)
/// whose Name is the item's chosen Attribute, or null.
const Entity* chosenCandidate(const CompositeAttribute& item);
/// The host path (relative to the linked entity) an AI model input/output item is bound to: the
/// candidate list's Path of the chosen Attribute, else (a list not derived yet) the Attribute text
/// read as a dotted path. Empty when nothing is chosen.
AttributePath chosenHostPath(const CompositeAttribute& item);
/// The attribute of the item's linked entity it is bound to, or null.
Attribute* boundAttribute(const CompositeAttribute& item);
} // namespace AIModelDerivedFunctions
} // namespace EntityModel
