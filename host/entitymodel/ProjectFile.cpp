#include "host/entitymodel/ProjectFile.h"

#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/DataFactory.h"
#include "host/entitymodel/DerivedDataPass.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/EntitySaver.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/ProjectFileFormat.h"
#include "host/entitymodel/SchemaLoader.h"
#include "host/entitymodel/UnitConverter.h"
#include "host/entitymodel/ValueAttribute.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <unordered_set>

namespace EntityModel
{
namespace
{
std::string idText(const ID& id)
{
    return std::to_string(id.fileId) + "-" + std::to_string(id.serial);
}

std::string describe(const QJsonValue& value)
{
    switch (value.type())
    {
    case QJsonValue::Null:
        return "null";
    case QJsonValue::Bool:
        return "true or false";
    case QJsonValue::Double:
        return "a number";
    case QJsonValue::String:
        return "a text";
    case QJsonValue::Array:
        return "a list";
    case QJsonValue::Object:
        return "an object";
    case QJsonValue::Undefined:
        break;
    }
    return "nothing";
}

std::string entityLabel(const std::string& name, const std::string& type, const ID& id)
{
    return "'" + name + "' (" + type + " " + idText(id) + ")";
}

std::string entityLabel(const Entity& entity)
{
    return entityLabel(entity.getName(), entity.getTypeRef().getLabel(), entity.getID());
}

/// Refuses a file: "FILE: entity ENTITY, attribute 'PATH': PROBLEM", leaving out the empty parts.
[[noreturn]] void refuse(const std::string& file, const std::string& entity, const std::string& attribute,
                         const std::string& problem)
{
    std::string text = file + ": ";
    if (!entity.empty())
        text += "entity " + entity + (attribute.empty() ? ": " : ", ");
    if (!attribute.empty())
        text += "attribute '" + attribute + "': ";
    throw std::runtime_error(text + problem);
}

/// The dotted path of an attribute below its entity (empty for the entity itself).
std::string pathOf(const Attribute& attribute)
{
    return attribute.isEntity() ? std::string() : attribute.getAttributePath().toString('.');
}

std::optional<ID> readId(const QJsonValue& value)
{
    const QJsonArray pair = value.toArray();
    if (!value.isArray() || pair.size() != 2)
        return std::nullopt;
    ID id;
    for (int i = 0; i < 2; ++i)
    {
        const double number = pair[i].toDouble(0.5);
        if (!pair[i].isDouble() || number != std::floor(number) ||
            std::abs(number) > std::numeric_limits<int>::max())
            return std::nullopt;
        (i ? id.serial : id.fileId) = static_cast<int>(number);
    }
    return id;
}

struct IdHash
{
    std::size_t operator()(const ID& id) const noexcept
    {
        // Fibonacci hashing spreads the serials, which are mostly consecutive.
        return std::size_t((std::uint64_t(std::uint32_t(id.fileId)) << 32 | std::uint32_t(id.serial)) *
                           0x9E3779B97F4A7C15ull);
    }
};

/// Record numbers by entity ID, in one array (open addressing): a file holds up to millions of IDs.
class IdTable
{
public:
    /// The record of an ID, or null.
    const std::uint32_t* find(const ID& id) const
    {
        if (slots_.empty())
            return nullptr;
        for (std::size_t i = start(id);; i = (i + 1) & (slots_.size() - 1))
        {
            if (slots_[i].record == none)
                return nullptr;
            if (slots_[i].id == id)
                return &slots_[i].record;
        }
    }
    /// Adds an ID and its record; when the ID is there already, the record it has.
    std::optional<std::uint32_t> insert(const ID& id, std::uint32_t record)
    {
        if (2 * (size_ + 1) > slots_.size())
            grow();
        std::size_t i = start(id);
        for (; slots_[i].record != none; i = (i + 1) & (slots_.size() - 1))
            if (slots_[i].id == id)
                return slots_[i].record;
        slots_[i] = {id, record};
        ++size_;
        return std::nullopt;
    }
    void clear()
    {
        slots_.clear();
        size_ = 0;
    }

private:
    static constexpr std::uint32_t none = std::numeric_limits<std::uint32_t>::max();
    struct Slot
    {
        ID id;
        std::uint32_t record = none;
    };

    std::size_t start(const ID& id) const { return (IdHash()(id) >> 20) & (slots_.size() - 1); }
    void grow()
    {
        std::vector<Slot> old(std::max<std::size_t>(1024, 2 * slots_.size()));
        old.swap(slots_);
        size_ = 0;
        for (const Slot& slot : old)
            if (slot.record != none)
                insert(slot.id, slot.record);
    }

    std::vector<Slot> slots_;
    std::size_t size_ = 0;
};

/// Whether a key is one of the names given.
bool isOneOf(const QString& key, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        if (key == QLatin1String(name))
            return true;
    return false;
}

std::atomic<int> documentReads{0};

/// Thrown by the quick reader for anything it leaves to the whole-document reader.
struct LeftToDocumentReader
{
};

/// The top level of a project file, read without building a document: its keys, and each value as
/// the bytes that hold it. The bytes are not checked here: the JSON parser reads them.
class TopLevelScanner
{
public:
    explicit TopLevelScanner(const QByteArray& json) : p_(json.constData()), end_(p_ + json.size()) {}

    void expect(char c)
    {
        if (!take(c))
            throw LeftToDocumentReader{};
    }
    bool take(char c)
    {
        space();
        if (p_ == end_ || *p_ != c)
            return false;
        ++p_;
        return true;
    }
    /// A key without escapes, and its colon.
    std::string_view key()
    {
        expect('"');
        const char* start = p_;
        while (p_ != end_ && *p_ != '"' && *p_ != '\\')
            ++p_;
        if (p_ == end_ || *p_ == '\\')
            throw LeftToDocumentReader{};
        const std::string_view key(start, std::size_t(p_ - start));
        ++p_;
        expect(':');
        return key;
    }
    /// The bytes of the next value (not copied: they stay in the file's text).
    QByteArray value()
    {
        space();
        const char* start = p_;
        if (p_ == end_)
            throw LeftToDocumentReader{};
        if (*p_ == '"')
            string();
        else if (*p_ == '{' || *p_ == '[')
            nested();
        else
            while (p_ != end_ && !isSpace(*p_) && *p_ != ',' && *p_ != ']' && *p_ != '}')
                ++p_;
        return QByteArray::fromRawData(start, int(p_ - start));
    }
    bool atEnd()
    {
        space();
        return p_ == end_;
    }

private:
    // The parser refuses deeper documents; a value read on its own sits two levels higher.
    static constexpr int maxDepth = 1000;

    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    void space()
    {
        while (p_ != end_ && isSpace(*p_))
            ++p_;
    }
    void string()
    {
        for (++p_; p_ != end_; ++p_)
        {
            if (*p_ == '\\')
            {
                // The escaped character, a quote too, belongs to the text.
                if (++p_ == end_)
                    break;
                continue;
            }
            if (*p_ == '"')
            {
                ++p_;
                return;
            }
        }
        throw LeftToDocumentReader{};
    }
    void nested()
    {
        int depth = 0;
        while (p_ != end_)
        {
            const char c = *p_;
            if (c == '"')
            {
                string();
                continue;
            }
            ++p_;
            if (c == '{' || c == '[')
            {
                if (++depth > maxDepth)
                    break;
            }
            else if ((c == '}' || c == ']') && --depth == 0)
                return;
        }
        throw LeftToDocumentReader{};
    }

    const char* p_;
    const char* end_;
};

/// A single JSON value on its own (the parser reads only objects and arrays at the top).
QJsonValue parseValue(const QByteArray& bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson('[' + bytes + ']', &error);
    if (error.error != QJsonParseError::NoError || document.array().size() != 1)
        throw LeftToDocumentReader{};
    return document.array().first();
}

/// A link read from the file, resolved once every entity is known. Its entity IDs are a run of the
/// reader's list of them.
struct PendingLink
{
    LinkAttribute* link;
    std::uint32_t record; ///< the entity holding the link
    std::uint32_t first;  ///< its first ID in the reader's list
    std::uint32_t count;
};

/// Reads the entities of a project file. A well-formed file is read entity by entity from its text,
/// so that no document of the whole file is ever built; anything unusual, and every refusal, is left
/// to the whole-document reader, whose checks come in a fixed order: the file, then each entity, then
/// their attributes, then the links.
class Reader
{
public:
    Reader(std::string file, QString anchor) : file_(std::move(file)), anchor_(std::move(anchor)) {}

    std::vector<std::unique_ptr<Entity>> read(const QByteArray& json)
    {
        try
        {
            return readQuickly(json);
        }
        catch (const LeftToDocumentReader&)
        {
        }
        catch (const std::exception&)
        {
        }
        ++documentReads;
        reset();
        return readDocument(json);
    }

private:
    struct Record
    {
        std::unique_ptr<Entity> entity; ///< until an owning link takes it
        Entity* raw = nullptr;
        std::int32_t owner = -1; ///< the pending link owning it
    };

    std::vector<std::unique_ptr<Entity>> readQuickly(const QByteArray& json)
    {
        TopLevelScanner scanner(json);
        scanner.expect('{');
        QJsonValue format(QJsonValue::Undefined), version(QJsonValue::Undefined);
        bool entities = false;
        do
        {
            const std::string_view key = scanner.key();
            if (key == "format" && format.isUndefined())
                format = parseValue(scanner.value());
            else if (key == "version" && version.isUndefined())
                version = parseValue(scanner.value());
            else if (key == "entities" && !entities)
            {
                entities = true;
                scanner.expect('[');
                int index = 0;
                do
                {
                    QJsonParseError error;
                    const QJsonDocument entity = QJsonDocument::fromJson(scanner.value(), &error);
                    if (error.error != QJsonParseError::NoError || !entity.isObject())
                        throw LeftToDocumentReader{};
                    const QJsonObject object = entity.object();
                    readAttributes(createEntity(object, index++), object);
                } while (scanner.take(','));
                scanner.expect(']');
            }
            else
                throw LeftToDocumentReader{};
        } while (scanner.take(','));
        scanner.expect('}');
        if (!scanner.atEnd() || format.toString() != ProjectFileFormat::formatName || version.toInt(-1) < 1 ||
            version.toInt(-1) > ProjectFileFormat::version)
            throw LeftToDocumentReader{};
        checkLinks();
        return link();
    }

    std::vector<std::unique_ptr<Entity>> readDocument(const QByteArray& json)
    {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(json, &error);
        if (error.error != QJsonParseError::NoError)
        {
            const QByteArray before = json.left(error.offset);
            const int line = before.count('\n') + 1;
            const int column = error.offset - (before.lastIndexOf('\n') + 1) + 1;
            refuse(file_, {}, {},
                   "not valid JSON (line " + std::to_string(line) + ", column " + std::to_string(column) +
                       "): " + error.errorString().toStdString());
        }
        const QJsonObject root = document.object();
        if (!document.isObject() || root.value("format").toString() != ProjectFileFormat::formatName)
            refuse(file_, {}, {},
                   std::string("not a project file (it needs \"format\": \"") +
                       ProjectFileFormat::formatName + "\")");
        const int version = root.value("version").toInt(-1);
        if (version < 1 || version > ProjectFileFormat::version)
            refuse(file_, {}, {},
                   "project file version " + std::to_string(version) +
                       " is not supported (this program reads version " +
                       std::to_string(ProjectFileFormat::version) + ")");
        for (auto it = root.begin(); it != root.end(); ++it)
            if (!isOneOf(it.key(), {"format", "version", "entities"}))
                refuse(file_, {}, {}, "unknown key '" + it.key().toStdString() + "'");
        if (!root.value("entities").isArray() || root.value("entities").toArray().isEmpty())
            refuse(file_, {}, {}, "the file holds no entities");

        const QJsonArray entities = root.value("entities").toArray();
        for (int i = 0; i < entities.size(); ++i)
        {
            const QJsonValue entity = entities[i];
            if (!entity.isObject())
                refuse(file_, "number " + std::to_string(i + 1), {},
                       "an entity must be an object, not " + describe(entity));
            createEntity(entity.toObject(), i);
        }
        for (std::size_t i = 0; i < records_.size(); ++i)
            readAttributes(i, entities[int(i)].toObject());
        checkLinks();
        return link();
    }

    void reset()
    {
        records_.clear();
        ids_.clear();
        links_.clear();
        linkIds_.clear();
        linkTargets_.clear();
        derivedUnits_.clear();
    }

    /// Makes the entity of an entity object, with its attributes at their defaults; returns its record.
    std::size_t createEntity(const QJsonObject& object, int index)
    {
        auto numbered = [&](const std::string& problem)
        { refuse(file_, "number " + std::to_string(index + 1), {}, problem); };
        for (auto it = object.begin(); it != object.end(); ++it)
            if (!isOneOf(it.key(), {"type", "name", "id", "attributes"}))
                numbered("unknown key '" + it.key().toStdString() + "'");
        const QJsonValue nameValue = object.value(QLatin1String("name"));
        if (!nameValue.isString() && !nameValue.isUndefined())
            numbered("'name' must be a text");
        std::string name = nameValue.toString().toStdString();
        const std::string type = object.value(QLatin1String("type")).toString().toStdString();
        const std::optional<ID> id = readId(object.value(QLatin1String("id")));
        if (type.empty())
            refuse(file_, "'" + name + "'", {}, "'type' (the entity type's label) is missing");
        if (!id)
            refuse(file_, "'" + name + "'", {}, "'id' must be a pair of whole numbers [file, serial]");
        if (const auto used = ids_.insert(*id, std::uint32_t(records_.size())))
            refuse(file_, entityLabel(name, type, *id), {},
                   "ID " + idText(*id) + " is already used by entity " + entityLabel(*records_[*used].raw));
        auto definition = factory_.getSchema().share(TypeRef(type));
        if (!definition)
            refuse(file_, entityLabel(name, type, *id), {}, "unknown entity type '" + type + "'");

        Record& record = records_.emplace_back();
        record.entity = DataFactory::createEntity(std::move(definition), std::move(name));
        record.entity->setID(*id);
        record.raw = record.entity.get();
        reserveEntitySerial(id->serial);
        return records_.size() - 1;
    }

    void readAttributes(std::size_t record, const QJsonObject& object)
    {
        const QJsonValue attributes = object.value(QLatin1String("attributes"));
        if (attributes.isUndefined())
            return;
        current_ = record;
        Entity& entity = *records_[record].raw;
        if (!attributes.isObject())
            refuse(file_, entityLabel(entity), {},
                   "'attributes' must be an object, not " + describe(attributes));
        readComposite(entity, attributes.toObject());
    }

    /// Refuses the value of an attribute of the entity being read.
    [[noreturn]] void fail(const Attribute& attribute, const std::string& problem) const
    {
        refuse(file_, entityLabel(*records_[current_].raw), pathOf(attribute), problem);
    }

    [[noreturn]] void failLink(const PendingLink& pending, const std::string& problem) const
    {
        refuse(file_, entityLabel(*records_[pending.record].raw), pathOf(*pending.link), problem);
    }

    /// The TypeRef of a key (keys repeat across entities: each is interned once per file).
    TypeRef typeOf(const QString& key)
    {
        auto found = keys_.constFind(key);
        if (found == keys_.constEnd())
            found = keys_.insert(key, TypeRef(key.toStdString()));
        return found.value();
    }

    void readComposite(CompositeAttribute& composite, const QJsonObject& object)
    {
        for (auto it = object.begin(); it != object.end(); ++it)
        {
            const QString key = it.key();
            Attribute* child = composite.findAttribute(typeOf(key), false);
            if (!child)
            {
                const std::string above = pathOf(composite);
                refuse(file_, entityLabel(*records_[current_].raw),
                       above.empty() ? key.toStdString() : above + "." + key.toStdString(),
                       "unknown attribute");
            }
            readValue(*child, it.value());
        }
    }

    void expect(bool ok, const char* expected, const QJsonValue& value, const Attribute& attribute) const
    {
        if (!ok)
            fail(attribute, std::string("expected ") + expected + ", found " + describe(value));
    }

    void checkBounds(const Attribute& attribute, double value) const
    {
        // A bound says the value is a quantity in a range: NaN would slip past both comparisons.
        const auto min = attribute.getMinimum();
        const auto max = attribute.getMaximum();
        if ((min || max) && !std::isfinite(value))
            fail(attribute, ProjectFileFormat::number(value) + " is not allowed: the value is bounded (" +
                                (min ? "minimum " + ProjectFileFormat::number(*min) : std::string()) +
                                (min && max ? ", " : "") +
                                (max ? "maximum " + ProjectFileFormat::number(*max) : std::string()) + ")");
        if (min && value < *min)
            fail(attribute, ProjectFileFormat::number(value) + " is below the minimum " +
                                ProjectFileFormat::number(*min));
        if (max && value > *max)
            fail(attribute, ProjectFileFormat::number(value) + " is above the maximum " +
                                ProjectFileFormat::number(*max));
    }

    static std::optional<double> readReal(const QJsonValue& value)
    {
        if (value.isDouble())
            return value.toDouble();
        if (!value.isString())
            return std::nullopt;
        const QString text = value.toString();
        if (text == QLatin1String("NaN"))
            return std::numeric_limits<double>::quiet_NaN();
        if (text == QLatin1String("Infinity"))
            return std::numeric_limits<double>::infinity();
        if (text == QLatin1String("-Infinity"))
            return -std::numeric_limits<double>::infinity();
        return std::nullopt;
    }

    /// Reads a unit label into the unit attribute of `owner` (the attribute messages name).
    void readUnit(UnitTypeAttribute* unit, const QJsonValue& value, const char* role, const Attribute& owner)
    {
        if (value.isUndefined())
            return;
        expect(value.isString(), "a unit label", value, owner);
        if (!unit)
            fail(owner, std::string("has no ") + role + " unit to set");
        // A derived unit learns its quantity from linked entities: its label is set once they are linked.
        if (unit->isDerived())
        {
            derivedUnits_.emplace_back(unit, value.toString().toStdString());
            return;
        }
        if (!unit->setValueFromString(value.toString().toStdString()))
            fail(owner, "'" + value.toString().toStdString() + "' is not a unit of " +
                            unit->getQuantity().getLabel());
    }

    void setText(Attribute& attribute, const std::string& text) const
    {
        if (!attribute.setValueFromString(text))
            fail(attribute, "'" + text + "' does not fit");
    }

    void readValue(Attribute& attribute, const QJsonValue& value)
    {
        switch (attribute.kind())
        {
        case AttributeKind::Composite:
            expect(value.isObject(), "an object", value, attribute);
            readComposite(static_cast<CompositeAttribute&>(attribute), value.toObject());
            return;
        case AttributeKind::CountedComposite:
        {
            expect(value.isArray(), "a list of items", value, attribute);
            auto& counted = static_cast<CountedCompositeAttribute&>(attribute);
            const QJsonArray items = value.toArray();
            counted.setCount(items.size());
            for (int i = 0; i < items.size(); ++i)
                readValue(*counted.getChild(std::size_t(i)), items[i]);
            return;
        }
        case AttributeKind::Int:
        {
            const double number = value.toDouble(0.5);
            expect(value.isDouble() && number == std::floor(number), "a whole number", value, attribute);
            if (std::abs(number) > std::numeric_limits<int>::max())
                fail(attribute, ProjectFileFormat::number(number) + " is too large for a whole number");
            checkBounds(attribute, number);
            static_cast<IntAttribute&>(attribute).setInt(static_cast<int>(number));
            return;
        }
        case AttributeKind::Bool:
            expect(value.isBool(), "true or false", value, attribute);
            static_cast<BoolAttribute&>(attribute).setBool(value.toBool());
            return;
        case AttributeKind::Double:
        {
            auto& real = static_cast<DoubleAttribute&>(attribute);
            const QJsonObject object = value.toObject();
            if (value.isObject())
            {
                for (auto it = object.begin(); it != object.end(); ++it)
                    if (!isOneOf(it.key(), {"value", "unit"}))
                        fail(attribute, "unknown key '" + it.key().toStdString() +
                                            "' (a value with a unit has 'value' and 'unit')");
            }
            const QJsonValue number = value.isObject() ? object.value(QLatin1String("value")) : value;
            const std::optional<double> standard = readReal(number);
            expect(standard.has_value(), "a number (in standard units)", number, attribute);
            checkBounds(attribute, *standard);
            if (value.isObject())
                readUnit(real.getUnitAttribute(), object.value(QLatin1String("unit")), "display", attribute);
            real.setStandardVal(*standard);
            return;
        }
        case AttributeKind::Type:
        {
            expect(value.isString(), "a label", value, attribute);
            auto& choice = static_cast<TypeAttribute&>(attribute);
            if (!choice.setValueFromString(value.toString().toStdString()))
            {
                std::string candidates;
                for (TypeRef candidate : choice.getCandidates())
                    candidates += (candidates.empty() ? "" : ", ") + candidate.getLabel();
                fail(attribute, "'" + value.toString().toStdString() + "' is not one of " + candidates);
            }
            return;
        }
        case AttributeKind::String:
            expect(value.isString(), "a text", value, attribute);
            static_cast<StringAttribute&>(attribute).setString(value.toString().toStdString());
            return;
        case AttributeKind::Filename:
            expect(value.isString(), "a file name", value, attribute);
            static_cast<StringAttribute&>(attribute).setString(
                ProjectFileFormat::toModelPath(value.toString().toStdString(), anchor_));
            return;
        case AttributeKind::ByteArray:
        {
            expect(value.isString(), "base64 text", value, attribute);
            const auto decoded = QByteArray::fromBase64Encoding(value.toString().toLatin1(),
                                                                QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                fail(attribute, "the text is not base64");
            setText(attribute, decoded.decoded.toStdString());
            return;
        }
        case AttributeKind::UnitType:
            readUnit(static_cast<UnitTypeAttribute*>(&attribute), value, "", attribute);
            return;
        case AttributeKind::Curve:
            readCurve(static_cast<CurveAttribute&>(attribute), value);
            return;
        case AttributeKind::Link:
        case AttributeKind::List:
        case AttributeKind::Array:
            readLink(static_cast<LinkAttribute&>(attribute), value);
            return;
        case AttributeKind::Shortcut:
            fail(attribute, "a shortcut holds no value of its own");
        }
    }

    void readCurve(CurveAttribute& curve, const QJsonValue& value)
    {
        const QJsonObject object = value.toObject();
        if (value.isObject())
            for (auto it = object.begin(); it != object.end(); ++it)
                if (!isOneOf(it.key(), {"points", "xUnit", "yUnit"}))
                    fail(curve, "unknown key '" + it.key().toStdString() +
                                    "' (a curve has 'points', 'xUnit' and 'yUnit')");
        const QJsonValue pointsValue = value.isObject() ? object.value(QLatin1String("points")) : value;
        expect(pointsValue.isArray(), "a list of [x, y] points", pointsValue, curve);
        std::vector<CurveAttribute::Point> points;
        for (const QJsonValue& point : pointsValue.toArray())
        {
            const QJsonArray pair = point.toArray();
            std::optional<double> x, y;
            if (pair.size() == 2)
                x = readReal(pair[0]), y = readReal(pair[1]);
            expect(x && y, "[x, y] number pairs", point, curve);
            points.emplace_back(*x, *y);
        }
        if (value.isObject())
        {
            readUnit(curve.getXUnit(), object.value(QLatin1String("xUnit")), "x", curve);
            readUnit(curve.getYUnit(), object.value(QLatin1String("yUnit")), "y", curve);
        }
        if (!curve.setPoints(std::move(points)))
            fail(curve, "curve points must be finite numbers with x increasing");
    }

    void readLink(LinkAttribute& link, const QJsonValue& value)
    {
        const auto first = std::uint32_t(linkIds_.size());
        if (link.kind() == AttributeKind::Link)
        {
            if (value.isNull())
                return;
            const std::optional<ID> id = readId(value);
            expect(id.has_value(), "an entity ID [file, serial] or null", value, link);
            linkIds_.push_back(*id);
        }
        else
        {
            expect(value.isArray(), "a list of entity IDs", value, link);
            const QJsonArray elements = value.toArray();
            // Short lists are searched; long ones (thousands of fluids) are checked against a set.
            constexpr int searched = 32;
            listed_.clear();
            for (int i = 0; i < elements.size(); ++i)
            {
                const std::optional<ID> id = readId(elements[i]);
                expect(id.has_value(), "entity IDs [file, serial]", elements[i], link);
                if (i == searched)
                    listed_.insert(linkIds_.begin() + first, linkIds_.end());
                const bool twice =
                    i < searched ? std::find(linkIds_.begin() + first, linkIds_.end(), *id) != linkIds_.end()
                                 : !listed_.insert(*id).second;
                if (twice)
                    fail(link, "lists entity " + idText(*id) + " twice");
                linkIds_.push_back(*id);
            }
            const std::size_t count = linkIds_.size() - first;
            if (link.kind() == AttributeKind::Array && link.getDefinition().arraySize > 0 &&
                count > std::size_t(link.getDefinition().arraySize))
                fail(link, "holds " + std::to_string(count) + " entities but has " +
                               std::to_string(link.getDefinition().arraySize) + " slots");
        }
        if (linkIds_.size() > first)
            links_.push_back({&link, std::uint32_t(current_), first, std::uint32_t(linkIds_.size() - first)});
    }

    /// Every check of the links, before anything is linked: a failed file never leaves half-made links.
    void checkLinks()
    {
        linkTargets_.resize(linkIds_.size());
        for (std::size_t k = 0; k < links_.size(); ++k)
        {
            const PendingLink& pending = links_[k];
            for (std::uint32_t j = pending.first; j < pending.first + pending.count; ++j)
            {
                const ID& id = linkIds_[j];
                const std::uint32_t* found = ids_.find(id);
                if (!found)
                    failLink(pending, "links entity " + idText(id) + ", which is not in the file");
                linkTargets_[j] = *found;
                Record& target = records_[*found];
                if (!pending.link->accepts(target.raw))
                {
                    std::string types;
                    for (TypeRef type : pending.link->getDefinition().linkedTypes)
                        types += (types.empty() ? "" : ", ") + type.getLabel();
                    failLink(pending,
                             "links entity " + entityLabel(*target.raw) + ", but takes only " + types);
                }
                if (!pending.link->isOwning())
                    continue;
                if (target.owner >= 0)
                {
                    const PendingLink& owner = links_[std::size_t(target.owner)];
                    failLink(pending, "owns entity " + entityLabel(*target.raw) + ", which attribute '" +
                                          pathOf(*owner.link) + "' of entity " +
                                          entityLabel(*records_[owner.record].raw) + " owns already");
                }
                target.owner = std::int32_t(k);
            }
        }
        checkOwnershipCycles();
    }

    /// An ownership cycle would leave entities owning each other with no way up to a root. The first
    /// entity (in file order) whose owners lead into one is named.
    void checkOwnershipCycles() const
    {
        enum Reach : std::uint8_t
        {
            Unknown,
            Walking,
            Root,
            Cycle
        };
        std::vector<Reach> reach(records_.size(), Unknown);
        std::vector<std::size_t> walk;
        for (std::size_t i = 0; i < records_.size(); ++i)
        {
            walk.clear();
            std::size_t current = i;
            while (reach[current] == Unknown && records_[current].owner >= 0)
            {
                reach[current] = Walking;
                walk.push_back(current);
                current = links_[std::size_t(records_[current].owner)].record;
            }
            if (reach[current] == Unknown)
                reach[current] = Root;
            const Reach outcome = reach[current] == Root ? Root : Cycle;
            for (std::size_t walked : walk)
                reach[walked] = outcome;
            if (reach[i] == Cycle)
                refuse(file_, entityLabel(*records_[i].raw), {}, "is part of an ownership cycle");
        }
    }

    std::vector<std::unique_ptr<Entity>> link()
    {
        for (const PendingLink& pending : links_)
            for (std::uint32_t j = pending.first; j < pending.first + pending.count; ++j)
            {
                Record& target = records_[linkTargets_[j]];
                const bool linked = pending.link->isOwning()
                                        ? pending.link->adopt(std::move(target.entity)) != nullptr
                                        : pending.link->addReference(target.raw);
                if (!linked)
                    failLink(pending, "cannot hold entity " + entityLabel(*target.raw));
            }
        for (auto& [unit, label] : derivedUnits_)
        {
            unit->invalidateDerived(false);
            unit->ensureComputed();
            unit->setValueFromString(label);
        }
        std::vector<std::unique_ptr<Entity>> topLevel;
        for (Record& record : records_)
            if (record.entity)
                topLevel.push_back(std::move(record.entity));
        return topLevel;
    }

    std::string file_;
    QString anchor_;
    DataFactory factory_;
    std::vector<Record> records_;
    IdTable ids_;
    std::size_t current_ = 0; ///< the record whose attributes are being read
    std::vector<PendingLink> links_;
    std::vector<ID> linkIds_;
    std::vector<std::uint32_t> linkTargets_; ///< the record of each of linkIds_, once checked
    std::unordered_set<ID, IdHash> listed_;
    QHash<QString, TypeRef> keys_;
    std::vector<std::pair<UnitTypeAttribute*, std::string>> derivedUnits_;
};
} // namespace

int ProjectFileFormat::wholeDocumentReads()
{
    return documentReads.load();
}

std::vector<std::unique_ptr<Entity>> ProjectFile::readEntities(const QByteArray& json,
                                                               const QString& fileName)
{
    SchemaLoader::ensureBuiltInLoaded();
    Reader reader(fileName.toStdString(), ProjectFileFormat::anchorFolder(fileName));
    return reader.read(json);
}

std::unique_ptr<Project> ProjectFile::fromJson(const QByteArray& json, const QString& fileName)
{
    std::vector<std::unique_ptr<Entity>> entities = readEntities(json, fileName);
    const Entity& root = *entities.front();
    if (!root.isProject())
        refuse(fileName.toStdString(), entityLabel(root), {},
               "the first entity of a project file must be a Project");
    if (entities.size() > 1)
        refuse(fileName.toStdString(), entityLabel(*entities[1]), {},
               "no entity owns it (only the project may stand alone)");
    auto project = std::make_unique<Project>(std::move(entities.front()), fileName.toStdString());
    // Derived data is not stored as truth: the registered calculators bring it up to date.
    DerivedDataPass::run(project->getRootEntity());
    return project;
}

std::unique_ptr<Project> ProjectFile::load(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(fileName.toStdString() + ": cannot be read (" +
                                 file.errorString().toStdString() + ")");
    return fromJson(file.readAll(), fileName);
}

QByteArray ProjectFile::toJson(const Project& project, const QString& fileName)
{
    DataFactory factory;
    return EntitySaver(factory).toJson({project.getRootEntity()}, fileName);
}

void ProjectFile::save(const Project& project, const QString& fileName)
{
    DataFactory factory;
    if (!EntitySaver(factory).save({project.getRootEntity()}, fileName))
        throw std::runtime_error(fileName.toStdString() + ": cannot be written");
}
} // namespace EntityModel
