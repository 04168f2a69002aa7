#pragma once

namespace Conflux::Model
{
/// The root of the exchange model's node classes.
class AbstractAttribute
{
public:
    virtual ~AbstractAttribute() = default;

protected:
    AbstractAttribute() = default;
    AbstractAttribute(const AbstractAttribute&) = default;
    AbstractAttribute& operator=(const AbstractAttribute&) = default;
};
} // namespace Conflux::Model
