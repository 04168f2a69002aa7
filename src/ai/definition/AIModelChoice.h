#pragma once
#include <stdexcept>
#include <string>

namespace EntityModel
{
class Entity;
}

namespace Conflux
{
/// A request for an AI model that the project cannot answer; the text lists the choices.
class AIModelChoiceError : public std::invalid_argument
{
public:
    using std::invalid_argument::invalid_argument;
};

/// The one AI model of a project that `wanted` names: the model or the item it models, named as
/// EntityLookup takes names (name, path, TYPE:NAME or ID); with `wanted` empty, the project's only
/// AI model. Throws
/// AIModelChoiceError when the project has none, or the name fits none or several; `projectName`
/// names the project in the message.
EntityModel::Entity* chooseAIModel(EntityModel::Entity* root, const std::string& wanted,
                                   const std::string& projectName);

/// "'MODEL' of 'OWNER'" (or "'MODEL'" for a model without owner), as messages name an AI model.
std::string aiModelLabel(const EntityModel::Entity* model);
} // namespace Conflux
