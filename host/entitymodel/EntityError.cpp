#include "host/entitymodel/EntityError.h"

namespace EntityModel
{
EntityError::EntityError(Entity* entity, std::string message, std::string group)
    : entity_(entity), message_(std::move(message)), group_(std::move(group))
{
}

void EntityError::addChildError(EntityError child)
{
    children_.push_back(std::move(child));
}

std::string EntityError::toString() const
{
    std::string text = message_;
    for (const EntityError& child : children_)
    {
        std::string childText = child.toString();
        text += "\n\t";
        for (char c : childText)
        {
            text += c;
            if (c == '\n')
                text += '\t';
        }
    }
    return text;
}
} // namespace EntityModel
