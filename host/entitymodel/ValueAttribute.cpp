#include "host/entitymodel/ValueAttribute.h"

#include "host/entitymodel/AttributeVisitor.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace EntityModel
{
namespace
{
std::shared_ptr<const AttributeDefinition> valueDefinition(AttributeKind kind, TypeRef name)
{
    auto definition = std::make_shared<AttributeDefinition>();
    definition->kind = kind;
    definition->name = name;
    return definition;
}

std::optional<int> parseInt(const std::string& text)
{
    int value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}
} // namespace

// Integers.

IntAttribute::IntAttribute(std::shared_ptr<const AttributeDefinition> definition)
    : Attribute(std::move(definition))
{
    value_ = parseInt(getDefinition().defaultValue).value_or(0);
}

IntAttribute::IntAttribute(TypeRef name, int value)
    : Attribute(valueDefinition(AttributeKind::Int, name)), value_(value)
{
}

void IntAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
}

int IntAttribute::intVal() const
{
    ensureComputed();
    return value_;
}

bool IntAttribute::setValueFromString(const std::string& text)
{
    auto value = parseInt(text);
    if (!value)
        return false;
    setInt(*value);
    return true;
}

void IntAttribute::setInt(int value)
{
    value_ = value;
    valueChanged();
}

// Booleans.

BoolAttribute::BoolAttribute(std::shared_ptr<const AttributeDefinition> definition)
    : Attribute(std::move(definition))
{
    value_ = parse(getDefinition().defaultValue).value_or(false);
}

BoolAttribute::BoolAttribute(TypeRef name, bool value)
    : Attribute(valueDefinition(AttributeKind::Bool, name)), value_(value)
{
}

void BoolAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
}

bool BoolAttribute::boolVal() const
{
    ensureComputed();
    return value_;
}

bool BoolAttribute::setValueFromString(const std::string& text)
{
    auto value = parse(text);
    if (!value)
        return false;
    setBool(*value);
    return true;
}

void BoolAttribute::setBool(bool value)
{
    value_ = value;
    valueChanged();
}

std::optional<bool> BoolAttribute::parse(const std::string& text)
{
    if (text == "true" || text == "True" || text == "TRUE" || text == "Yes" || text == "yes" || text == "1")
        return true;
    if (text == "false" || text == "False" || text == "FALSE" || text == "No" || text == "no" || text == "0")
        return false;
    return std::nullopt;
}

// Texts and file names.

StringAttribute::StringAttribute(std::shared_ptr<const AttributeDefinition> definition)
    : Attribute(std::move(definition)), value_(getDefinition().defaultValue)
{
}

StringAttribute::StringAttribute(TypeRef name, std::string value)
    : Attribute(valueDefinition(AttributeKind::String, name)), value_(std::move(value))
{
}

void StringAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
}

bool StringAttribute::boolVal() const
{
    return BoolAttribute::parse(getValue()).value_or(false);
}

std::string StringAttribute::getValue() const
{
    ensureComputed();
    return value_;
}

bool StringAttribute::setValueFromString(const std::string& text)
{
    setString(text);
    return true;
}

void StringAttribute::setString(std::string value)
{
    value_ = std::move(value);
    valueChanged();
}

void FilenameAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
}

// Byte arrays.

ByteArrayAttribute::ByteArrayAttribute(std::shared_ptr<const AttributeDefinition> definition)
    : Attribute(std::move(definition)), value_(Utilities::toByteArray(getDefinition().defaultValue))
{
}

void ByteArrayAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
}

std::string ByteArrayAttribute::getValue() const
{
    return Utilities::toString(byteArrayVal());
}

Utilities::bytearray ByteArrayAttribute::byteArrayVal() const
{
    ensureComputed();
    return value_;
}

bool ByteArrayAttribute::setValueFromString(const std::string& bytes)
{
    setBytes(Utilities::toByteArray(bytes));
    return true;
}

void ByteArrayAttribute::setBytes(Utilities::bytearray bytes)
{
    value_ = std::move(bytes);
    valueChanged();
}

// Type values.

TypeAttribute::TypeAttribute(std::shared_ptr<const AttributeDefinition> definition)
    : Attribute(std::move(definition))
{
    if (!getDefinition().defaultValue.empty())
        value_ = TypeRef(getDefinition().defaultValue);
}

void TypeAttribute::accept(AttributeVisitor& visitor)
{
    visitor.visit(this);
}

bool TypeAttribute::boolVal() const
{
    TypeRef value = typeVal();
    return value == Yes_t || value.getLabel() == "True" || value.getLabel() == "true";
}

TypeRef TypeAttribute::typeVal() const
{
    ensureComputed();
    return value_;
}

bool TypeAttribute::setValueFromString(const std::string& text)
{
    if (text.empty())
        return setType(TypeRef());
    if (setType(TypeRef(text)))
        return true;
    // A Yes/No choice also takes a boolean's text.
    const auto& candidates = getCandidates();
    auto offers = [&candidates](TypeRef t)
    { return std::find(candidates.begin(), candidates.end(), t) != candidates.end(); };
    if (offers(Yes_t) && offers(No_t))
        if (auto value = BoolAttribute::parse(text))
            return setType(*value ? Yes_t : No_t);
    return false;
}

bool TypeAttribute::setType(TypeRef value)
{
    const auto& candidates = getCandidates();
    if (!value.empty() && !candidates.empty() &&
        std::find(candidates.begin(), candidates.end(), value) == candidates.end())
        return false;
    value_ = value;
    valueChanged();
    return true;
}
} // namespace EntityModel
