#include "host/entitymodel/Rule.h"

#include "host/entitymodel/Attribute.h"
#include "host/entitymodel/ShortcutAttribute.h"

#include <algorithm>

namespace EntityModel
{
bool Rule::evaluate(const Attribute& subject)
{
    outcome_ = holds(definition_, subject);
    return outcome_;
}

bool Rule::holds(const RuleDefinition& definition, const Attribute& subject)
{
    if (definition.conditions.empty())
        return false;
    for (const RuleCondition& condition : definition.conditions)
    {
        const Attribute* target = resolveRelativePath(subject.getParent(), condition.path);
        bool found = false;
        if (target)
        {
            std::string value = target->getValue();
            found =
                std::find(condition.values.begin(), condition.values.end(), value) != condition.values.end();
        }
        if (found == condition.negate)
            return false;
    }
    return true;
}
} // namespace EntityModel
