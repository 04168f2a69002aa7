#pragma once
#include "host/entitymodel/Schema.h"

namespace EntityModel
{
class Attribute;

/// A hidden or read-only rule of an attribute, evaluated against the attribute's surroundings.
/// It keeps the outcome of its last evaluation.
class Rule
{
public:
    explicit Rule(RuleDefinition definition) : definition_(std::move(definition)) {}

    /// Evaluates the rule for the attribute it belongs to, stores and returns the outcome.
    bool evaluate(const Attribute& subject);
    /// The outcome of the last evaluation (false before the first).
    bool getOutcome() const { return outcome_; }
    const RuleDefinition& getDefinition() const { return definition_; }

    /// The outcome of a rule definition for an attribute, without a Rule object.
    static bool holds(const RuleDefinition& definition, const Attribute& subject);

private:
    RuleDefinition definition_;
    bool outcome_ = false;
};
} // namespace EntityModel
