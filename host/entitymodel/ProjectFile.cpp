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
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>

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

/// Where a problem lies, for messages: "FILE: entity 'NAME' (TYPE 1-2), attribute 'A.B': problem".
struct Context
{
    std::string file;
    std::string entity;    ///< "'NAME' (TYPE 1-2)", empty at file level
    std::string attribute; ///< dotted path, empty at entity level

    [[noreturn]] void fail(const std::string& problem) const
    {
        std::string text = file + ": ";
        if (!entity.empty())
            text += "entity " + entity + (attribute.empty() ? ": " : ", ");
        if (!attribute.empty())
            text += "attribute '" + attribute + "': ";
        throw std::runtime_error(text + problem);
    }
    Context child(const std::string& name) const
    {
        return {file, entity, attribute.empty() ? name : attribute + "." + name};
    }
};

std::string entityLabel(const std::string& name, const std::string& type, const ID& id)
{
    return "'" + name + "' (" + type + " " + idText(id) + ")";
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

/// A link read from the file, resolved once every entity is known.
struct PendingLink
{
    LinkAttribute* link;
    std::vector<ID> ids;
    Context where;
};

class Reader
{
public:
    Reader(std::string file, QString anchor) : file_(std::move(file)), anchor_(std::move(anchor)) {}

    std::vector<std::unique_ptr<Entity>> read(const QByteArray& json)
    {
        const Context top{file_, {}, {}};
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(json, &error);
        if (error.error != QJsonParseError::NoError)
        {
            const QByteArray before = json.left(error.offset);
            const int line = before.count('\n') + 1;
            const int column = error.offset - (before.lastIndexOf('\n') + 1) + 1;
            top.fail("not valid JSON (line " + std::to_string(line) + ", column " + std::to_string(column) +
                     "): " + error.errorString().toStdString());
        }
        const QJsonObject root = document.object();
        if (!document.isObject() || root.value("format").toString() != ProjectFileFormat::formatName)
            top.fail(std::string("not a project file (it needs \"format\": \"") +
                     ProjectFileFormat::formatName + "\")");
        const int version = root.value("version").toInt(-1);
        if (version < 1 || version > ProjectFileFormat::version)
            top.fail("project file version " + std::to_string(version) +
                     " is not supported (this program reads version " +
                     std::to_string(ProjectFileFormat::version) + ")");
        for (auto it = root.begin(); it != root.end(); ++it)
            if (it.key() != "format" && it.key() != "version" && it.key() != "entities")
                top.fail("unknown key '" + it.key().toStdString() + "'");
        if (!root.value("entities").isArray() || root.value("entities").toArray().isEmpty())
            top.fail("the file holds no entities");

        const QJsonArray entities = root.value("entities").toArray();
        for (int i = 0; i < entities.size(); ++i)
            createEntity(entities[i], i);
        for (std::size_t i = 0; i < records_.size(); ++i)
        {
            const QJsonValue attributes = records_[i].json.value("attributes");
            if (attributes.isUndefined())
                continue;
            const Context where{file_, records_[i].label, {}};
            if (!attributes.isObject())
                where.fail("'attributes' must be an object, not " + describe(attributes));
            readComposite(*records_[i].raw, attributes.toObject(), where);
        }
        checkLinks();
        return link();
    }

private:
    struct Record
    {
        QJsonObject json;
        std::unique_ptr<Entity> entity; ///< until an owning link takes it
        Entity* raw = nullptr;
        std::string label;
        const PendingLink* owner = nullptr;
    };

    void createEntity(const QJsonValue& value, int index)
    {
        const Context where{file_, "number " + std::to_string(index + 1), {}};
        if (!value.isObject())
            where.fail("an entity must be an object, not " + describe(value));
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            if (it.key() != "type" && it.key() != "name" && it.key() != "id" && it.key() != "attributes")
                where.fail("unknown key '" + it.key().toStdString() + "'");
        if (!object.value("name").isString() && !object.value("name").isUndefined())
            where.fail("'name' must be a text");
        const std::string name = object.value("name").toString().toStdString();
        const std::string type = object.value("type").toString().toStdString();
        const std::optional<ID> id = readId(object.value("id"));
        const Context named{file_, "'" + name + "'", {}};
        if (type.empty())
            named.fail("'type' (the entity type's label) is missing");
        if (!id)
            named.fail("'id' must be a pair of whole numbers [file, serial]");
        const Context full{file_, entityLabel(name, type, *id), {}};
        if (const auto used = ids_.find(*id); used != ids_.end())
            full.fail("ID " + idText(*id) + " is already used by entity " + records_[used->second].label);
        if (!factory_.getSchema().find(TypeRef(type)))
            full.fail("unknown entity type '" + type + "'");

        Record record;
        record.json = object;
        record.entity = factory_.createEntity(TypeRef(type), name);
        record.entity->setID(*id);
        record.raw = record.entity.get();
        record.label = full.entity;
        reserveEntitySerial(id->serial);
        ids_[*id] = records_.size();
        records_.push_back(std::move(record));
    }

    void readComposite(CompositeAttribute& composite, const QJsonObject& object, const Context& where)
    {
        for (auto it = object.begin(); it != object.end(); ++it)
        {
            const std::string name = it.key().toStdString();
            const Context childWhere = where.child(name);
            Attribute* child = composite.findAttribute(TypeRef(name), false);
            if (!child)
                childWhere.fail("unknown attribute");
            readValue(*child, it.value(), childWhere);
        }
    }

    void expect(bool ok, const char* expected, const QJsonValue& value, const Context& where)
    {
        if (!ok)
            where.fail(std::string("expected ") + expected + ", found " + describe(value));
    }

    void setText(Attribute& attribute, const std::string& text, const Context& where)
    {
        if (!attribute.setValueFromString(text))
            where.fail("'" + text + "' does not fit");
    }

    void checkBounds(const Attribute& attribute, double value, const Context& where)
    {
        // A bound says the value is a quantity in a range: NaN would slip past both comparisons.
        const auto min = attribute.getMinimum();
        const auto max = attribute.getMaximum();
        if ((min || max) && !std::isfinite(value))
            where.fail(ProjectFileFormat::number(value) + " is not allowed: the value is bounded (" +
                       (min ? "minimum " + ProjectFileFormat::number(*min) : std::string()) +
                       (min && max ? ", " : "") +
                       (max ? "maximum " + ProjectFileFormat::number(*max) : std::string()) + ")");
        if (min && value < *min)
            where.fail(ProjectFileFormat::number(value) + " is below the minimum " +
                       ProjectFileFormat::number(*min));
        if (max && value > *max)
            where.fail(ProjectFileFormat::number(value) + " is above the maximum " +
                       ProjectFileFormat::number(*max));
    }

    static std::optional<double> readReal(const QJsonValue& value)
    {
        if (value.isDouble())
            return value.toDouble();
        if (value == QJsonValue("NaN"))
            return std::numeric_limits<double>::quiet_NaN();
        if (value == QJsonValue("Infinity"))
            return std::numeric_limits<double>::infinity();
        if (value == QJsonValue("-Infinity"))
            return -std::numeric_limits<double>::infinity();
        return std::nullopt;
    }

    void readUnit(UnitTypeAttribute* unit, const QJsonValue& value, const char* role, const Context& where)
    {
        if (value.isUndefined())
            return;
        expect(value.isString(), "a unit label", value, where);
        if (!unit)
            where.fail(std::string("has no ") + role + " unit to set");
        // A derived unit learns its quantity from linked entities: its label is set once they are linked.
        if (unit->isDerived())
        {
            derivedUnits_.emplace_back(unit, value.toString().toStdString());
            return;
        }
        if (!unit->setValueFromString(value.toString().toStdString()))
            where.fail("'" + value.toString().toStdString() + "' is not a unit of " +
                       unit->getQuantity().getLabel());
    }

    void readValue(Attribute& attribute, const QJsonValue& value, const Context& where)
    {
        switch (attribute.kind())
        {
        case AttributeKind::Composite:
            expect(value.isObject(), "an object", value, where);
            readComposite(static_cast<CompositeAttribute&>(attribute), value.toObject(), where);
            return;
        case AttributeKind::CountedComposite:
        {
            expect(value.isArray(), "a list of items", value, where);
            auto& counted = static_cast<CountedCompositeAttribute&>(attribute);
            const QJsonArray items = value.toArray();
            counted.setCount(items.size());
            for (int i = 0; i < items.size(); ++i)
            {
                Attribute* item = counted.getChild(std::size_t(i));
                readValue(*item, items[i], where.child(item->getTypeRef().getLabel()));
            }
            return;
        }
        case AttributeKind::Int:
        {
            const double number = value.toDouble(0.5);
            expect(value.isDouble() && number == std::floor(number), "a whole number", value, where);
            if (std::abs(number) > std::numeric_limits<int>::max())
                where.fail(ProjectFileFormat::number(number) + " is too large for a whole number");
            checkBounds(attribute, number, where);
            setText(attribute, std::to_string(static_cast<int>(number)), where);
            return;
        }
        case AttributeKind::Bool:
            expect(value.isBool(), "true or false", value, where);
            setText(attribute, value.toBool() ? "true" : "false", where);
            return;
        case AttributeKind::Double:
        {
            auto& real = static_cast<DoubleAttribute&>(attribute);
            const QJsonObject object = value.toObject();
            if (value.isObject())
            {
                for (auto it = object.begin(); it != object.end(); ++it)
                    if (it.key() != "value" && it.key() != "unit")
                        where.fail("unknown key '" + it.key().toStdString() +
                                   "' (a value with a unit has 'value' and 'unit')");
            }
            const QJsonValue number = value.isObject() ? object.value("value") : value;
            const std::optional<double> standard = readReal(number);
            expect(standard.has_value(), "a number (in standard units)", number, where);
            checkBounds(attribute, *standard, where);
            if (value.isObject())
                readUnit(real.getUnitAttribute(), object.value("unit"), "display", where);
            real.setStandardVal(*standard);
            return;
        }
        case AttributeKind::Type:
        {
            expect(value.isString(), "a label", value, where);
            auto& choice = static_cast<TypeAttribute&>(attribute);
            if (!choice.setValueFromString(value.toString().toStdString()))
            {
                std::string candidates;
                for (TypeRef candidate : choice.getCandidates())
                    candidates += (candidates.empty() ? "" : ", ") + candidate.getLabel();
                where.fail("'" + value.toString().toStdString() + "' is not one of " + candidates);
            }
            return;
        }
        case AttributeKind::String:
            expect(value.isString(), "a text", value, where);
            setText(attribute, value.toString().toStdString(), where);
            return;
        case AttributeKind::Filename:
            expect(value.isString(), "a file name", value, where);
            setText(attribute, ProjectFileFormat::toModelPath(value.toString().toStdString(), anchor_),
                    where);
            return;
        case AttributeKind::ByteArray:
        {
            expect(value.isString(), "base64 text", value, where);
            const auto decoded = QByteArray::fromBase64Encoding(value.toString().toLatin1(),
                                                                QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded)
                where.fail("the text is not base64");
            setText(attribute, decoded.decoded.toStdString(), where);
            return;
        }
        case AttributeKind::UnitType:
            readUnit(static_cast<UnitTypeAttribute*>(&attribute), value, "", where);
            return;
        case AttributeKind::Curve:
            readCurve(static_cast<CurveAttribute&>(attribute), value, where);
            return;
        case AttributeKind::Link:
        case AttributeKind::List:
        case AttributeKind::Array:
            readLink(static_cast<LinkAttribute&>(attribute), value, where);
            return;
        case AttributeKind::Shortcut:
            where.fail("a shortcut holds no value of its own");
        }
    }

    void readCurve(CurveAttribute& curve, const QJsonValue& value, const Context& where)
    {
        const QJsonObject object = value.toObject();
        if (value.isObject())
            for (auto it = object.begin(); it != object.end(); ++it)
                if (it.key() != "points" && it.key() != "xUnit" && it.key() != "yUnit")
                    where.fail("unknown key '" + it.key().toStdString() +
                               "' (a curve has 'points', 'xUnit' and 'yUnit')");
        const QJsonValue pointsValue = value.isObject() ? object.value("points") : value;
        expect(pointsValue.isArray(), "a list of [x, y] points", pointsValue, where);
        std::vector<CurveAttribute::Point> points;
        for (const QJsonValue& point : pointsValue.toArray())
        {
            const QJsonArray pair = point.toArray();
            std::optional<double> x, y;
            if (pair.size() == 2)
                x = readReal(pair[0]), y = readReal(pair[1]);
            expect(x && y, "[x, y] number pairs", point, where);
            points.emplace_back(*x, *y);
        }
        if (value.isObject())
        {
            readUnit(curve.getXUnit(), object.value("xUnit"), "x", where);
            readUnit(curve.getYUnit(), object.value("yUnit"), "y", where);
        }
        if (!curve.setPoints(std::move(points)))
            where.fail("curve points must be finite numbers with x increasing");
    }

    void readLink(LinkAttribute& link, const QJsonValue& value, const Context& where)
    {
        PendingLink pending{&link, {}, where};
        if (link.kind() == AttributeKind::Link)
        {
            if (value.isNull())
                return;
            const std::optional<ID> id = readId(value);
            expect(id.has_value(), "an entity ID [file, serial] or null", value, where);
            pending.ids.push_back(*id);
        }
        else
        {
            expect(value.isArray(), "a list of entity IDs", value, where);
            for (const QJsonValue& element : value.toArray())
            {
                const std::optional<ID> id = readId(element);
                expect(id.has_value(), "entity IDs [file, serial]", element, where);
                if (std::find(pending.ids.begin(), pending.ids.end(), *id) != pending.ids.end())
                    where.fail("lists entity " + idText(*id) + " twice");
                pending.ids.push_back(*id);
            }
            if (link.kind() == AttributeKind::Array && link.getDefinition().arraySize > 0 &&
                pending.ids.size() > std::size_t(link.getDefinition().arraySize))
                where.fail("holds " + std::to_string(pending.ids.size()) + " entities but has " +
                           std::to_string(link.getDefinition().arraySize) + " slots");
        }
        if (!pending.ids.empty())
            links_.push_back(std::move(pending));
    }

    /// Every check of the links, before anything is linked: a failed file never leaves half-made links.
    void checkLinks()
    {
        for (const PendingLink& pending : links_)
            for (const ID& id : pending.ids)
            {
                const auto found = ids_.find(id);
                if (found == ids_.end())
                    pending.where.fail("links entity " + idText(id) + ", which is not in the file");
                Record& target = records_[found->second];
                if (!pending.link->accepts(target.raw))
                {
                    std::string types;
                    for (TypeRef type : pending.link->getDefinition().linkedTypes)
                        types += (types.empty() ? "" : ", ") + type.getLabel();
                    pending.where.fail("links entity " + target.label + ", but takes only " + types);
                }
                if (!pending.link->isOwning())
                    continue;
                if (target.owner)
                    pending.where.fail("owns entity " + target.label + ", which attribute '" +
                                       target.owner->where.attribute + "' of entity " +
                                       target.owner->where.entity + " owns already");
                target.owner = &pending;
            }
        // An ownership cycle would leave entities owning each other with no way up to a root.
        std::map<const Entity*, std::size_t> indexOf;
        for (std::size_t i = 0; i < records_.size(); ++i)
            indexOf[records_[i].raw] = i;
        for (const Record& record : records_)
        {
            const Record* current = &record;
            for (std::size_t steps = 0; current->owner; ++steps)
            {
                if (steps > records_.size())
                    Context{file_, record.label, {}}.fail("is part of an ownership cycle");
                current = &records_[indexOf.at(current->owner->link->getOwnerEntity())];
            }
        }
    }

    std::vector<std::unique_ptr<Entity>> link()
    {
        for (const PendingLink& pending : links_)
            for (const ID& id : pending.ids)
            {
                Record& target = records_[ids_.at(id)];
                const bool linked = pending.link->isOwning()
                                        ? pending.link->adopt(std::move(target.entity)) != nullptr
                                        : pending.link->addReference(target.raw);
                if (!linked)
                    pending.where.fail("cannot hold entity " + target.label);
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
    std::map<ID, std::size_t> ids_;
    std::vector<PendingLink> links_;
    std::vector<std::pair<UnitTypeAttribute*, std::string>> derivedUnits_;
};
} // namespace

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
    const std::string rootLabel = entityLabel(root.getName(), root.getTypeRef().getLabel(), root.getID());
    if (!root.isProject())
        Context{fileName.toStdString(), rootLabel, {}}.fail(
            "the first entity of a project file must be a Project");
    if (entities.size() > 1)
    {
        const Entity& stray = *entities[1];
        Context{fileName.toStdString(),
                entityLabel(stray.getName(), stray.getTypeRef().getLabel(), stray.getID()),
                {}}
            .fail("no entity owns it (only the project may stand alone)");
    }
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
