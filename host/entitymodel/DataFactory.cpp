#include "host/entitymodel/DataFactory.h"

#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/ShortcutAttribute.h"
#include "host/entitymodel/ValueAttribute.h"

#include <charconv>
#include <stdexcept>
#include <utility>

namespace EntityModel
{
DataFactory::DataFactory(const Schema* schema) : schema_(schema) {}

const Schema& DataFactory::getSchema() const
{
    return schema_ ? *schema_ : Schema::instance();
}

std::unique_ptr<Entity> DataFactory::createEntity(TypeRef type, const std::string& name) const
{
    auto definition = getSchema().share(type);
    if (!definition)
        throw std::runtime_error("Unknown entity type '" + type.getLabel() + "'");
    return createEntity(std::move(definition), name);
}

std::unique_ptr<Entity> DataFactory::createEntity(std::shared_ptr<const EntityDefinition> definition,
                                                  const std::string& name)
{
    if (!definition)
        throw std::invalid_argument("An entity needs a definition");
    auto entity = std::make_unique<Entity>(definition, name, ID{0, nextEntitySerial()});
    entity->reserveChildren(definition->attributes.size());
    for (const AttributeDefinition& attribute : definition->attributes)
        entity->addAttribute(
            createAttribute(std::shared_ptr<const AttributeDefinition>(definition, &attribute)));
    return entity;
}

std::unique_ptr<Attribute> DataFactory::createAttribute(std::shared_ptr<const AttributeDefinition> definition)
{
    switch (definition->kind)
    {
    case AttributeKind::Composite:
    {
        auto composite = std::make_unique<CompositeAttribute>(definition);
        composite->reserveChildren(definition->children.size());
        for (const AttributeDefinition& child : definition->children)
            composite->addAttribute(
                createAttribute(std::shared_ptr<const AttributeDefinition>(definition, &child)));
        return composite;
    }
    case AttributeKind::CountedComposite:
    {
        auto counted = std::make_unique<CountedCompositeAttribute>(definition);
        int count = 0;
        const std::string& text = definition->defaultValue;
        std::from_chars(text.data(), text.data() + text.size(), count);
        counted->setCount(count);
        return counted;
    }
    case AttributeKind::Int:
        return std::make_unique<IntAttribute>(std::move(definition));
    case AttributeKind::Bool:
        return std::make_unique<BoolAttribute>(std::move(definition));
    case AttributeKind::Double:
        return std::make_unique<DoubleAttribute>(std::move(definition));
    case AttributeKind::Type:
        return std::make_unique<TypeAttribute>(std::move(definition));
    case AttributeKind::String:
        return std::make_unique<StringAttribute>(std::move(definition));
    case AttributeKind::Filename:
        return std::make_unique<FilenameAttribute>(std::move(definition));
    case AttributeKind::ByteArray:
        return std::make_unique<ByteArrayAttribute>(std::move(definition));
    case AttributeKind::Curve:
        return std::make_unique<CurveAttribute>(std::move(definition));
    case AttributeKind::UnitType:
        return std::make_unique<UnitTypeAttribute>(std::move(definition));
    case AttributeKind::Link:
        return std::make_unique<LinkAttribute>(std::move(definition));
    case AttributeKind::List:
        return std::make_unique<ListAttribute>(std::move(definition));
    case AttributeKind::Array:
        return std::make_unique<ArrayAttribute>(std::move(definition));
    case AttributeKind::Shortcut:
        return std::make_unique<ShortcutAttribute>(std::move(definition));
    }
    throw std::logic_error("Unknown attribute kind of '" + definition->name.getLabel() + "'");
}
} // namespace EntityModel
