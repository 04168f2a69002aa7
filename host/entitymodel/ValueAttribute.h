#pragma once
// The plain value attributes: integers, booleans, texts, file names, byte arrays and type values.
#include "host/entitymodel/Attribute.h"

#include <string>
#include <vector>

namespace EntityModel
{
/// An integer value.
class IntAttribute : public Attribute
{
public:
    explicit IntAttribute(std::shared_ptr<const AttributeDefinition> definition);
    explicit IntAttribute(TypeRef name, int value = 0);

    AttributeKind kind() const override { return AttributeKind::Int; }
    void accept(AttributeVisitor& visitor) override;
    bool boolVal() const override { return intVal() != 0; }
    int intVal() const override;
    double standardVal() const override { return intVal(); }
    std::string getValue() const override { return std::to_string(intVal()); }
    bool setValueFromString(const std::string& text) override;
    std::optional<double> getMinimum() const override { return getDefinition().min; }
    std::optional<double> getMaximum() const override { return getDefinition().max; }
    void setInt(int value);

private:
    int value_ = 0;
};

/// A boolean value. Its text is "true" or "false"; "Yes"/"No" and "1"/"0" are read too.
class BoolAttribute : public Attribute
{
public:
    explicit BoolAttribute(std::shared_ptr<const AttributeDefinition> definition);
    explicit BoolAttribute(TypeRef name, bool value = false);

    AttributeKind kind() const override { return AttributeKind::Bool; }
    void accept(AttributeVisitor& visitor) override;
    bool boolVal() const override;
    int intVal() const override { return boolVal() ? 1 : 0; }
    double standardVal() const override { return intVal(); }
    std::string getValue() const override { return boolVal() ? "true" : "false"; }
    bool setValueFromString(const std::string& text) override;
    void setBool(bool value);

    /// Reads a boolean text; nullopt when it is none of the accepted forms.
    static std::optional<bool> parse(const std::string& text);

private:
    bool value_ = false;
};

/// A text value.
class StringAttribute : public Attribute
{
public:
    explicit StringAttribute(std::shared_ptr<const AttributeDefinition> definition);
    explicit StringAttribute(TypeRef name, std::string value = {});

    AttributeKind kind() const override { return AttributeKind::String; }
    void accept(AttributeVisitor& visitor) override;
    bool boolVal() const override;
    std::string getValue() const override;
    bool setValueFromString(const std::string& text) override;
    void setString(std::string value);

private:
    std::string value_;
};

/// A file name (a text naming a file on disk).
class FilenameAttribute : public StringAttribute
{
public:
    using StringAttribute::StringAttribute;
    AttributeKind kind() const override { return AttributeKind::Filename; }
    void accept(AttributeVisitor& visitor) override;
};

/// Binary data (model archives, scripts).
class ByteArrayAttribute : public Attribute
{
public:
    explicit ByteArrayAttribute(std::shared_ptr<const AttributeDefinition> definition);

    AttributeKind kind() const override { return AttributeKind::ByteArray; }
    void accept(AttributeVisitor& visitor) override;
    /// The bytes as they are (not an encoding of them).
    std::string getValue() const override;
    Utilities::bytearray byteArrayVal() const override;
    bool setValueFromString(const std::string& bytes) override;
    void setBytes(Utilities::bytearray bytes);

private:
    Utilities::bytearray value_;
};

/// A choice among labels (the definition's candidates). Its boolean value is true for `Yes`
/// (and "True"/"true"), so Yes/No choices read as booleans.
class TypeAttribute : public Attribute
{
public:
    explicit TypeAttribute(std::shared_ptr<const AttributeDefinition> definition);

    AttributeKind kind() const override { return AttributeKind::Type; }
    void accept(AttributeVisitor& visitor) override;
    bool operator==(const TypeRef& value) const override { return typeVal() == value; }
    bool boolVal() const override;
    TypeRef typeVal() const override;
    std::string getValue() const override { return typeVal().getLabel(); }
    /// Accepts a candidate's label (any label when there are no candidates); the empty text clears;
    /// a Yes/No choice also takes "true"/"false".
    bool setValueFromString(const std::string& text) override;
    /// Sets the value; false when it is not a candidate.
    bool setType(TypeRef value);
    const std::vector<TypeRef>& getCandidates() const { return getDefinition().candidates; }

private:
    TypeRef value_;
};
} // namespace EntityModel
