#include "host/entitymodel/SchemaLoader.h"

#include "host/entitymodel/UnitConverter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>
#include <set>
#include <stdexcept>

// The resource lives in a static library: it must be initialised by name, outside any namespace.
static void initSchemaResource() { Q_INIT_RESOURCE(schema); }

namespace EntityModel
{
namespace
{
const QString builtInFolder = QStringLiteral(":/entitymodel/schema");

/// Where in a schema file a problem lies, for messages.
struct Where
{
    QString file;
    std::string path; ///< dotted attribute names; empty at the entity level

    Where child(const std::string& name) const { return {file, path.empty() ? name : path + "." + name}; }
    [[noreturn]] void fail(const std::string& problem) const
    {
        std::string text = "Schema file '" + QFileInfo(file).fileName().toStdString() + "'";
        if (!path.empty())
            text += ", attribute '" + path + "'";
        throw std::runtime_error(text + ": " + problem);
    }
};

std::string formatNumber(double value)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string text(const QJsonValue& value) { return value.toString().toStdString(); }

void checkKeys(const QJsonObject& object, const std::set<QString>& allowed, const Where& where)
{
    for (auto it = object.begin(); it != object.end(); ++it)
        if (!allowed.count(it.key()))
            where.fail("unknown key '" + it.key().toStdString() + "'");
}

bool readBool(const QJsonObject& object, const char* key, const Where& where)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return false;
    if (!value.isBool())
        where.fail(std::string("'") + key + "' must be true or false");
    return value.toBool();
}

std::string readString(const QJsonObject& object, const char* key, const Where& where)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return {};
    if (!value.isString())
        where.fail(std::string("'") + key + "' must be a text");
    return text(value);
}

std::optional<double> readNumber(const QJsonObject& object, const char* key, const Where& where)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return std::nullopt;
    if (!value.isDouble())
        where.fail(std::string("'") + key + "' must be a number");
    return value.toDouble();
}

std::vector<std::string> readStrings(const QJsonObject& object, const char* key, const Where& where)
{
    const QJsonValue value = object.value(key);
    std::vector<std::string> result;
    if (value.isUndefined())
        return result;
    if (!value.isArray())
        where.fail(std::string("'") + key + "' must be a list of texts");
    for (const QJsonValue& element : value.toArray())
    {
        if (!element.isString() || element.toString().isEmpty())
            where.fail(std::string("'") + key + "' must be a list of non-empty texts");
        result.push_back(text(element));
    }
    return result;
}

RuleDefinition readRule(const QJsonValue& value, const char* key, const Where& where)
{
    if (!value.isArray() || value.toArray().isEmpty())
        where.fail(std::string("'") + key + "' must be a non-empty list of conditions");
    RuleDefinition rule;
    for (const QJsonValue& element : value.toArray())
    {
        if (!element.isObject())
            where.fail(std::string("'") + key + "' must hold condition objects");
        const QJsonObject object = element.toObject();
        checkKeys(object, {"path", "in", "notIn"}, where);
        const bool hasIn = object.contains("in"), hasNotIn = object.contains("notIn");
        if (hasIn == hasNotIn)
            where.fail(std::string("a condition of '") + key + "' needs exactly one of 'in' and 'notIn'");
        RuleCondition condition;
        const std::string path = readString(object, "path", where);
        if (path.empty())
            where.fail(std::string("a condition of '") + key + "' needs a path");
        condition.path = AttributePath(path);
        condition.negate = hasNotIn;
        condition.values = readStrings(object, hasIn ? "in" : "notIn", where);
        rule.conditions.push_back(std::move(condition));
    }
    return rule;
}

std::vector<AttributePath> readPaths(const QJsonObject& object, const char* key, const Where& where)
{
    std::vector<AttributePath> paths;
    for (const std::string& dotted : readStrings(object, key, where))
        paths.emplace_back(dotted);
    return paths;
}

ExchangeDefinition readExchange(const QJsonValue& value, const Where& where)
{
    ExchangeDefinition exchange;
    if (value.isUndefined())
        return exchange;
    if (!value.isObject())
        where.fail("'exchange' must be an object");
    const QJsonObject object = value.toObject();
    checkKeys(object, {"flagged", "label", "type", "hidden", "readOnly", "readOnlyWhen", "shortcuts", "redirect", "hideHeader"},
              where);
    exchange.flagged = readBool(object, "flagged", where);
    exchange.label = readString(object, "label", where);
    exchange.declaredType = readString(object, "type", where);
    exchange.hidden = readBool(object, "hidden", where);
    exchange.readOnly = readBool(object, "readOnly", where);
    if (object.contains("readOnlyWhen"))
        exchange.readOnlyRule = readRule(object.value("readOnlyWhen"), "readOnlyWhen", where);
    exchange.shortcuts = readPaths(object, "shortcuts", where);
    const std::string redirect = readString(object, "redirect", where);
    if (!redirect.empty())
        exchange.redirect = TypeRef(redirect);
    exchange.hideHeader = readBool(object, "hideHeader", where);
    return exchange;
}

bool isValueKind(AttributeKind kind)
{
    switch (kind)
    {
    case AttributeKind::Int:
    case AttributeKind::Bool:
    case AttributeKind::Double:
    case AttributeKind::Type:
    case AttributeKind::String:
    case AttributeKind::Filename:
    case AttributeKind::ByteArray:
    case AttributeKind::Curve:
    case AttributeKind::UnitType:
        return true;
    case AttributeKind::Composite:
    case AttributeKind::CountedComposite:
    case AttributeKind::Link:
    case AttributeKind::List:
    case AttributeKind::Array:
    case AttributeKind::Shortcut:
        return false;
    }
    return false;
}

void checkQuantity(TypeRef quantity, const std::string& unit, const Where& where)
{
    if (quantity.empty())
    {
        if (!unit.empty())
            where.fail("a unit needs a quantity");
        return;
    }
    const UnitConverter& converter = UnitConverter::instance();
    if (!converter.hasQuantity(quantity))
        where.fail("unknown quantity '" + quantity.getLabel() + "'");
    if (!unit.empty() && !converter.transform(quantity, unit))
        where.fail("unknown unit '" + unit + "' of " + quantity.getLabel());
}

/// The default's text form, checked against the kind (and the candidates, bounds and unit).
std::string readDefault(const QJsonValue& value, const AttributeDefinition& d, const Where& where)
{
    auto wrong = [&](const char* expected) { where.fail(std::string("default must be ") + expected); };
    switch (d.kind)
    {
    case AttributeKind::Bool:
        if (!value.isBool())
            wrong("true or false");
        return value.toBool() ? "true" : "false";
    case AttributeKind::Int:
    {
        const double number = value.toDouble();
        if (!value.isDouble() || number != std::floor(number) || std::abs(number) > 2147483647.0)
            wrong("a whole number");
        if ((d.min && number < *d.min) || (d.max && number > *d.max))
            where.fail("default " + formatNumber(number) + " is outside the bounds");
        return std::to_string(static_cast<int>(number));
    }
    case AttributeKind::Double:
    {
        if (!value.isDouble())
            wrong("a number (in standard units)");
        const double number = value.toDouble();
        if ((d.min && number < *d.min) || (d.max && number > *d.max))
            where.fail("default " + formatNumber(number) + " is outside the bounds");
        return formatNumber(number);
    }
    case AttributeKind::Type:
    {
        if (!value.isString())
            wrong("a label");
        const TypeRef label(text(value));
        if (!d.candidates.empty() && std::find(d.candidates.begin(), d.candidates.end(), label) == d.candidates.end())
            where.fail("default '" + label.getLabel() + "' is not one of the candidates");
        return label.getLabel();
    }
    case AttributeKind::String:
    case AttributeKind::Filename:
    case AttributeKind::ByteArray:
        if (!value.isString())
            wrong("a text");
        return text(value);
    case AttributeKind::UnitType:
        if (!value.isString())
            wrong("a unit label");
        if (!d.quantity.empty() && !UnitConverter::instance().transform(d.quantity, text(value)))
            where.fail("default unit '" + text(value) + "' is not a unit of " + d.quantity.getLabel());
        return text(value);
    case AttributeKind::Curve:
    {
        // The curve's text form: "x1:y1;x2:y2", x strictly increasing.
        if (!value.isArray())
            wrong("a list of [x, y] points");
        std::string points;
        std::optional<double> lastX;
        for (const QJsonValue& point : value.toArray())
        {
            const QJsonArray pair = point.toArray();
            if (!point.isArray() || pair.size() != 2 || !pair[0].isDouble() || !pair[1].isDouble())
                wrong("a list of [x, y] points");
            if (lastX && pair[0].toDouble() <= *lastX)
                where.fail("default curve points must have increasing x");
            lastX = pair[0].toDouble();
            points += (points.empty() ? "" : ";") + formatNumber(pair[0].toDouble()) + ":" + formatNumber(pair[1].toDouble());
        }
        return points;
    }
    case AttributeKind::Composite:
    case AttributeKind::CountedComposite:
    case AttributeKind::Link:
    case AttributeKind::List:
    case AttributeKind::Array:
    case AttributeKind::Shortcut:
        where.fail("a " + kindName(d.kind) + " attribute has no default");
    }
    return {};
}

AttributeDefinition readAttribute(const QJsonValue& value, const Where& parent)
{
    if (!value.isObject())
        parent.fail("attributes must be objects");
    const QJsonObject object = value.toObject();
    const std::string name = object.value("name").toString().toStdString();
    if (name.empty() || name.find('.') != std::string::npos)
        parent.fail("every attribute needs a 'name' (a label without '.')");
    const Where where = parent.child(name);

    AttributeDefinition d;
    d.name = TypeRef(name);
    const std::optional<AttributeKind> kind = kindFromName(readString(object, "kind", where));
    if (!kind)
        where.fail("unknown or missing 'kind' '" + readString(object, "kind", where) + "'");
    d.kind = *kind;

    std::set<QString> allowed{"name", "kind", "readOnly", "hidden", "hiddenWhen", "readOnlyWhen", "derived", "exchange"};
    if (isValueKind(d.kind))
        allowed.insert("default");
    switch (d.kind)
    {
    case AttributeKind::Int:
        allowed.insert({"min", "max"});
        break;
    case AttributeKind::Double:
        allowed.insert({"quantity", "unit", "min", "max"});
        break;
    case AttributeKind::Curve:
        allowed.insert({"quantity", "unit", "xQuantity", "xUnit"});
        break;
    case AttributeKind::UnitType:
        allowed.insert({"quantity", "unit"});
        break;
    case AttributeKind::Type:
        allowed.insert("candidates");
        break;
    case AttributeKind::Array:
        allowed.insert("size");
        [[fallthrough]];
    case AttributeKind::Link:
    case AttributeKind::List:
        allowed.insert({"linkedTypes", "owning", "flag"});
        break;
    case AttributeKind::Shortcut:
        allowed.insert("targets");
        break;
    case AttributeKind::Composite:
        allowed.insert({"children", "grouping"});
        break;
    case AttributeKind::CountedComposite:
        allowed.insert("item");
        break;
    case AttributeKind::Bool:
    case AttributeKind::String:
    case AttributeKind::Filename:
    case AttributeKind::ByteArray:
        break;
    }
    checkKeys(object, allowed, where);

    d.readOnly = readBool(object, "readOnly", where);
    d.hidden = readBool(object, "hidden", where);
    if (object.contains("hiddenWhen"))
        d.hiddenRule = readRule(object.value("hiddenWhen"), "hiddenWhen", where);
    if (object.contains("readOnlyWhen"))
        d.readOnlyRule = readRule(object.value("readOnlyWhen"), "readOnlyWhen", where);
    d.derivedFunction = readString(object, "derived", where);
    d.exchange = readExchange(object.value("exchange"), where);

    const std::string quantity = readString(object, "quantity", where);
    if (!quantity.empty())
        d.quantity = TypeRef(quantity);
    d.unit = readString(object, "unit", where);
    checkQuantity(d.quantity, d.unit, where);
    const std::string xQuantity = readString(object, "xQuantity", where);
    if (!xQuantity.empty())
        d.xQuantity = TypeRef(xQuantity);
    d.xUnit = readString(object, "xUnit", where);
    checkQuantity(d.xQuantity, d.xUnit, where);
    d.min = readNumber(object, "min", where);
    d.max = readNumber(object, "max", where);
    if (d.min && d.max && *d.min > *d.max)
        where.fail("'min' is above 'max'");

    for (const std::string& candidate : readStrings(object, "candidates", where))
    {
        const TypeRef label(candidate);
        if (std::find(d.candidates.begin(), d.candidates.end(), label) != d.candidates.end())
            where.fail("candidate '" + candidate + "' is listed twice");
        d.candidates.push_back(label);
    }
    for (const std::string& type : readStrings(object, "linkedTypes", where))
        d.linkedTypes.emplace_back(type);
    d.owning = readBool(object, "owning", where);
    d.grouping = readBool(object, "grouping", where);
    d.linkFlag = readBool(object, "flag", where);
    if (const std::optional<double> size = readNumber(object, "size", where))
    {
        if (*size < 0 || *size != std::floor(*size))
            where.fail("'size' must be a whole number of slots");
        d.arraySize = static_cast<int>(*size);
    }
    d.targets = readPaths(object, "targets", where);

    if (d.kind == AttributeKind::Composite)
    {
        const QJsonValue children = object.value("children");
        if (!children.isUndefined() && !children.isArray())
            where.fail("'children' must be a list");
        std::set<TypeRef> names;
        for (const QJsonValue& child : children.toArray())
        {
            d.children.push_back(readAttribute(child, where));
            if (!names.insert(d.children.back().name).second)
                where.child(d.children.back().name.getLabel()).fail("the name is used twice");
        }
    }
    if (d.kind == AttributeKind::CountedComposite)
    {
        if (!object.value("item").isObject())
            where.fail("a counted attribute needs an 'item' object");
        d.item = std::make_shared<AttributeDefinition>(readAttribute(object.value("item"), where));
    }
    if (object.contains("default"))
        d.defaultValue = readDefault(object.value("default"), d, where);
    return d;
}

/// A definition and the composites above it, to resolve relative paths without entities.
struct Scope
{
    std::vector<const AttributeDefinition*> stack; ///< holders from the entity level down; front null = entity
    const std::vector<AttributeDefinition>* entityAttributes = nullptr;

    const std::vector<AttributeDefinition>* childrenOf(std::size_t level) const
    {
        const AttributeDefinition* holder = stack[level];
        if (!holder)
            return entityAttributes;
        if (holder->kind == AttributeKind::Composite)
            return &holder->children;
        return nullptr;
    }

    /// The definition at a path relative to the innermost holder; Owner steps move up. Returns
    /// nullopt when the path leaves the entity (not checkable here), null when it leads nowhere.
    std::optional<const AttributeDefinition*> resolve(const AttributePath& path) const
    {
        std::size_t level = stack.size() - 1;
        std::size_t i = 0;
        for (; i < path.size() && path[i] == Owner_t; ++i)
        {
            if (level == 0)
                return std::nullopt;
            --level;
        }
        const std::vector<AttributeDefinition>* children = childrenOf(level);
        const AttributeDefinition* found = nullptr;
        for (; i < path.size(); ++i)
        {
            if (!children)
                return found && found->kind == AttributeKind::CountedComposite ? std::nullopt
                                                                                : std::optional<const AttributeDefinition*>(nullptr);
            found = nullptr;
            for (const AttributeDefinition& child : *children)
                if (child.name == path[i])
                    found = &child;
            if (!found)
                return nullptr;
            children = found->kind == AttributeKind::Composite ? &found->children : nullptr;
        }
        return found;
    }
};

void checkRule(const RuleDefinition& rule, const Scope& scope, const Where& where, const char* key)
{
    for (const RuleCondition& condition : rule.conditions)
    {
        const auto target = scope.resolve(condition.path);
        if (!target)
            continue;
        if (!*target)
            where.fail(std::string("'") + key + "' path '" + condition.path.toString('.') + "' leads to no attribute");
        const AttributeDefinition& d = **target;
        for (const std::string& value : condition.values)
        {
            const bool fits = d.kind == AttributeKind::Bool   ? value == "true" || value == "false"
                              : d.kind == AttributeKind::Type ? d.candidates.empty() ||
                                                                    std::find(d.candidates.begin(), d.candidates.end(),
                                                                              TypeRef(value)) != d.candidates.end()
                                                              : true;
            if (!fits)
                where.fail(std::string("'") + key + "' compares '" + condition.path.toString('.') + "' with '" + value +
                           "', which it can never hold");
        }
    }
}

void crossCheckAttribute(const AttributeDefinition& d, Scope& scope, const Where& parent, const std::set<TypeRef>& types)
{
    const Where where = parent.child(d.name.getLabel());
    for (TypeRef type : d.linkedTypes)
        if (!types.count(type))
            where.fail("links unknown entity type '" + type.getLabel() + "'");
    if (d.hiddenRule)
        checkRule(*d.hiddenRule, scope, where, "hiddenWhen");
    if (d.readOnlyRule)
        checkRule(*d.readOnlyRule, scope, where, "readOnlyWhen");
    if (d.exchange.readOnlyRule)
        checkRule(*d.exchange.readOnlyRule, scope, where, "exchange.readOnlyWhen");
    for (const AttributePath& target : d.targets)
    {
        const auto found = scope.resolve(target);
        if (found && !*found)
            where.fail("shortcut target '" + target.toString('.') + "' leads to no attribute");
    }
    if (!d.exchange.redirect.empty())
    {
        const auto sibling = scope.resolve(AttributePath(d.exchange.redirect));
        if (sibling && !*sibling)
            where.fail("redirects to '" + d.exchange.redirect.getLabel() + "', which is no sibling");
    }
    if (d.kind == AttributeKind::Composite)
    {
        scope.stack.push_back(&d);
        for (const AttributeDefinition& child : d.children)
            crossCheckAttribute(child, scope, where, types);
        scope.stack.pop_back();
    }
    if (d.kind == AttributeKind::CountedComposite && d.item)
    {
        // Paths inside an item stay inside it: the item is their outermost holder.
        Scope itemScope;
        itemScope.stack.push_back(d.item.get());
        itemScope.entityAttributes = nullptr;
        if (d.item->kind == AttributeKind::Composite)
            for (const AttributeDefinition& child : d.item->children)
                crossCheckAttribute(child, itemScope, where.child(d.item->name.getLabel()), types);
    }
}
} // namespace

EntityDefinition SchemaLoader::parse(const QByteArray& json, const QString& fileName)
{
    const Where where{fileName, {}};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        where.fail("not valid JSON at offset " + std::to_string(error.offset) + ": " + error.errorString().toStdString());
    if (!document.isObject())
        where.fail("the file must hold one JSON object");
    const QJsonObject object = document.object();
    checkKeys(object, {"type", "description", "exchange", "attributes"}, where);

    EntityDefinition definition;
    const std::string type = readString(object, "type", where);
    if (type.empty())
        where.fail("'type' (the entity type's label) is missing");
    definition.type = TypeRef(type);
    definition.description = readString(object, "description", where);
    definition.exchange = readExchange(object.value("exchange"), where);
    if (!object.value("attributes").isArray())
        where.fail("'attributes' must be a list");
    std::set<TypeRef> names;
    for (const QJsonValue& attribute : object.value("attributes").toArray())
    {
        definition.attributes.push_back(readAttribute(attribute, where));
        if (!names.insert(definition.attributes.back().name).second)
            where.child(definition.attributes.back().name.getLabel()).fail("the name is used twice");
    }
    return definition;
}

void SchemaLoader::crossCheck(const std::vector<EntityDefinition>& definitions, const QStringList& fileNames)
{
    std::set<TypeRef> types;
    for (std::size_t i = 0; i < definitions.size(); ++i)
        if (!types.insert(definitions[i].type).second)
            Where{fileNames.value(int(i)), {}}.fail("entity type '" + definitions[i].type.getLabel() + "' is defined twice");
    for (std::size_t i = 0; i < definitions.size(); ++i)
    {
        Scope scope;
        scope.stack.push_back(nullptr);
        scope.entityAttributes = &definitions[i].attributes;
        const Where where{fileNames.value(int(i)), {}};
        for (const AttributeDefinition& attribute : definitions[i].attributes)
            crossCheckAttribute(attribute, scope, where, types);
    }
}

QStringList SchemaLoader::builtInFiles()
{
    initSchemaResource();
    QStringList files;
    for (const QString& name : QDir(builtInFolder).entryList({"*.json"}, QDir::Files, QDir::Name))
        files << builtInFolder + "/" + name;
    return files;
}

std::vector<EntityDefinition> SchemaLoader::readBuiltIn()
{
    const QStringList files = builtInFiles();
    if (files.isEmpty())
        throw std::runtime_error("The built-in schema files are missing from the entity model library's resources");
    std::vector<EntityDefinition> definitions;
    for (const QString& path : files)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error("Unable to read schema file '" + path.toStdString() + "'");
        definitions.push_back(parse(file.readAll(), path));
    }
    crossCheck(definitions, files);
    return definitions;
}

void SchemaLoader::ensureBuiltInLoaded()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (EntityDefinition& definition : readBuiltIn())
            Schema::instance().add(std::move(definition));
    });
}
} // namespace EntityModel
