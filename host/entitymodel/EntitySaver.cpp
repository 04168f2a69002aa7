#include "host/entitymodel/EntitySaver.h"

#include "host/entitymodel/CurveAttribute.h"
#include "host/entitymodel/DataFactory.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/ProjectFileFormat.h"
#include "host/entitymodel/ValueAttribute.h"

#include <QSaveFile>

#include <map>
#include <utility>

namespace EntityModel
{
namespace
{
struct Member;

/// A JSON value being written: scalars hold their JSON text, objects keep their members in order.
struct Node
{
    enum class Kind
    {
        Scalar,
        Object,
        Array
    } kind = Kind::Scalar;
    std::string scalar;
    // Members are declared while Node is incomplete (allowed for a vector of a named struct,
    // unlike a std::pair holding Node): their operations are used only below, once both are complete.
    std::vector<Member> members;
    std::vector<Node> items;

    static Node text(std::string json);
    static Node object();
    static Node array();
    bool empty() const;
};

/// One key and value of an object, in the order written.
struct Member
{
    Member(std::string key, Node value) : first(std::move(key)), second(std::move(value)) {}
    std::string first;
    Node second;
};

Node Node::text(std::string json)
{
    Node node;
    node.scalar = std::move(json);
    return node;
}
Node Node::object()
{
    Node node;
    node.kind = Kind::Object;
    return node;
}
Node Node::array()
{
    Node node;
    node.kind = Kind::Array;
    return node;
}
bool Node::empty() const
{
    return kind != Kind::Scalar && members.empty() && items.empty();
}

std::string quoted(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (unsigned char c : text)
    {
        switch (c)
        {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20)
            {
                static const char hex[] = "0123456789abcdef";
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            }
            else
                out += static_cast<char>(c);
        }
    }
    out += '"';
    return out;
}

/// Length of the one-line form, stopping early once it exceeds the limit.
std::size_t inlineLength(const Node& node, std::size_t limit)
{
    if (node.kind == Node::Kind::Scalar)
        return node.scalar.size();
    std::size_t length = 2;
    for (const auto& [key, value] : node.members)
    {
        length += key.size() + 6 + inlineLength(value, limit);
        if (length > limit)
            return length;
    }
    for (const Node& item : node.items)
    {
        length += 2 + inlineLength(item, limit);
        if (length > limit)
            return length;
    }
    return length;
}

void printInline(const Node& node, std::string& out)
{
    switch (node.kind)
    {
    case Node::Kind::Scalar:
        out += node.scalar;
        return;
    case Node::Kind::Object:
        out += '{';
        for (std::size_t i = 0; i < node.members.size(); ++i)
        {
            out += i ? ", " : "";
            out += quoted(node.members[i].first) + ": ";
            printInline(node.members[i].second, out);
        }
        out += '}';
        return;
    case Node::Kind::Array:
        out += '[';
        for (std::size_t i = 0; i < node.items.size(); ++i)
        {
            out += i ? ", " : "";
            printInline(node.items[i], out);
        }
        out += ']';
        return;
    }
}

/// Readable layout: a value fits on one line when it can, else one member or item per line.
void print(const Node& node, std::string& out, std::size_t indent, std::size_t lead)
{
    constexpr std::size_t width = 120;
    if (node.kind == Node::Kind::Scalar || node.empty() || indent + lead + inlineLength(node, width) <= width)
    {
        printInline(node, out);
        return;
    }
    const std::string pad(indent + 4, ' ');
    if (node.kind == Node::Kind::Object)
    {
        out += "{\n";
        for (std::size_t i = 0; i < node.members.size(); ++i)
        {
            const std::string key = quoted(node.members[i].first) + ": ";
            out += pad + key;
            print(node.members[i].second, out, indent + 4, key.size());
            out += i + 1 < node.members.size() ? ",\n" : "\n";
        }
        out += std::string(indent, ' ') + "}";
        return;
    }
    out += "[\n";
    for (std::size_t i = 0; i < node.items.size(); ++i)
    {
        out += pad;
        print(node.items[i], out, indent + 4, 0);
        out += i + 1 < node.items.size() ? ",\n" : "\n";
    }
    out += std::string(indent, ' ') + "]";
}

Node idNode(const ID& id)
{
    Node node = Node::array();
    node.items.push_back(Node::text(std::to_string(id.fileId)));
    node.items.push_back(Node::text(std::to_string(id.serial)));
    return node;
}

/// Builds the JSON of one entity's attributes, writing only what differs from the defaults.
class AttributeWriter
{
public:
    AttributeWriter(const QString& anchor) : anchor_(anchor) {}

    /// The attribute's JSON, or nothing when it holds its default.
    std::optional<Node> write(const Attribute& attribute)
    {
        switch (attribute.kind())
        {
        case AttributeKind::Composite:
        {
            Node node = composite(static_cast<const CompositeAttribute&>(attribute));
            return node.empty() ? std::nullopt : std::optional(std::move(node));
        }
        case AttributeKind::CountedComposite:
            return counted(static_cast<const CountedCompositeAttribute&>(attribute));
        case AttributeKind::Int:
            return changed(attribute) ? std::optional(Node::text(attribute.getValue())) : std::nullopt;
        case AttributeKind::Bool:
            return changed(attribute) ? std::optional(Node::text(attribute.boolVal() ? "true" : "false"))
                                      : std::nullopt;
        case AttributeKind::Type:
        case AttributeKind::String:
        case AttributeKind::UnitType:
            return changed(attribute) ? std::optional(Node::text(quoted(attribute.getValue())))
                                      : std::nullopt;
        case AttributeKind::Filename:
            return changed(attribute) ? std::optional(Node::text(quoted(
                                            ProjectFileFormat::toStoredPath(attribute.getValue(), anchor_))))
                                      : std::nullopt;
        case AttributeKind::ByteArray:
            return changed(attribute)
                       ? std::optional(Node::text(quoted(
                             QByteArray::fromStdString(attribute.getValue()).toBase64().toStdString())))
                       : std::nullopt;
        case AttributeKind::Double:
            return real(static_cast<const DoubleAttribute&>(attribute));
        case AttributeKind::Curve:
            return curve(static_cast<const CurveAttribute&>(attribute));
        case AttributeKind::Link:
        case AttributeKind::List:
        case AttributeKind::Array:
            return link(static_cast<const LinkAttribute&>(attribute));
        case AttributeKind::Shortcut:
            return std::nullopt;
        }
        return std::nullopt;
    }

    Node composite(const CompositeAttribute& composite)
    {
        Node node = Node::object();
        for (const auto& child : composite.children())
            if (std::optional<Node> value = write(*child))
                node.members.emplace_back(child->getTypeRef().getLabel(), std::move(*value));
        return node;
    }

private:
    /// A freshly made attribute of the same definition: what "default" means for it.
    const Attribute& pristine(const Attribute& attribute)
    {
        auto& slot = pristine_[&attribute.getDefinition()];
        if (!slot)
            slot = DataFactory::createAttribute(std::shared_ptr<const AttributeDefinition>(
                std::shared_ptr<const AttributeDefinition>(), &attribute.getDefinition()));
        return *slot;
    }

    bool changed(const Attribute& attribute)
    {
        // A derived attribute computes from its surroundings, which a detached copy lacks.
        if (attribute.isDerived())
            return attribute.getValue() != attribute.getDefinition().defaultValue;
        return attribute.getValue() != pristine(attribute).getValue();
    }

    std::optional<Node> counted(const CountedCompositeAttribute& counted)
    {
        Node node = Node::array();
        bool anyChanged = counted.childCount() != pristine(counted).getChildAttributes().size();
        for (const auto& item : counted.children())
        {
            std::optional<Node> value = write(*item);
            if (value && !value->empty())
                anyChanged = true;
            if (!value)
                value = item->isCompositeAttribute() ? Node::object() : Node::text(itemText(*item));
            node.items.push_back(std::move(*value));
        }
        return anyChanged ? std::optional(std::move(node)) : std::nullopt;
    }

    std::string itemText(const Attribute& item)
    {
        switch (item.kind())
        {
        case AttributeKind::Int:
            return item.getValue();
        case AttributeKind::Bool:
            return item.boolVal() ? "true" : "false";
        case AttributeKind::Double:
            return ProjectFileFormat::number(item.standardVal());
        case AttributeKind::Composite:
        case AttributeKind::CountedComposite:
        case AttributeKind::Type:
        case AttributeKind::String:
        case AttributeKind::Filename:
        case AttributeKind::ByteArray:
        case AttributeKind::Curve:
        case AttributeKind::UnitType:
        case AttributeKind::Link:
        case AttributeKind::List:
        case AttributeKind::Array:
        case AttributeKind::Shortcut:
            break;
        }
        return quoted(item.getValue());
    }

    std::optional<Node> real(const DoubleAttribute& value)
    {
        const auto& fresh = static_cast<const DoubleAttribute&>(pristine(value));
        const std::string unit =
            value.getUnitAttribute() ? value.getUnitAttribute()->getValue() : std::string();
        const std::string freshUnit =
            fresh.getUnitAttribute() ? fresh.getUnitAttribute()->getValue() : std::string();
        const double standard = value.standardVal();
        const bool sameValue = value.isDerived() ? value.getValue() == value.getDefinition().defaultValue
                                                 : ProjectFileFormat::number(standard) ==
                                                       ProjectFileFormat::number(fresh.standardVal());
        if (unit == freshUnit)
            return sameValue ? std::nullopt : std::optional(Node::text(ProjectFileFormat::number(standard)));
        Node node = Node::object();
        node.members.emplace_back("value", Node::text(ProjectFileFormat::number(standard)));
        node.members.emplace_back("unit", Node::text(quoted(unit)));
        return node;
    }

    std::optional<Node> curve(const CurveAttribute& curve)
    {
        const auto& fresh = static_cast<const CurveAttribute&>(pristine(curve));
        auto unitOf = [](const UnitTypeAttribute* unit) { return unit ? unit->getValue() : std::string(); };
        const bool sameUnits = unitOf(curve.getXUnit()) == unitOf(fresh.getXUnit()) &&
                               unitOf(curve.getYUnit()) == unitOf(fresh.getYUnit());
        if (sameUnits && curve.getPoints() == fresh.getPoints())
            return std::nullopt;
        Node points = Node::array();
        for (const auto& [x, y] : curve.getPoints())
        {
            Node point = Node::array();
            point.items.push_back(Node::text(ProjectFileFormat::number(x)));
            point.items.push_back(Node::text(ProjectFileFormat::number(y)));
            points.items.push_back(std::move(point));
        }
        if (sameUnits)
            return points;
        Node node = Node::object();
        node.members.emplace_back("points", std::move(points));
        node.members.emplace_back("xUnit", Node::text(quoted(unitOf(curve.getXUnit()))));
        node.members.emplace_back("yUnit", Node::text(quoted(unitOf(curve.getYUnit()))));
        return node;
    }

    std::optional<Node> link(const LinkAttribute& link)
    {
        if (link.getTargets().empty())
            return std::nullopt;
        if (link.kind() == AttributeKind::Link)
            return idNode(link.getTarget()->getID());
        Node node = Node::array();
        for (const Entity* target : link.getTargets())
            node.items.push_back(idNode(target->getID()));
        return node;
    }

    QString anchor_;
    std::map<const AttributeDefinition*, std::unique_ptr<Attribute>> pristine_;
};
} // namespace

EntitySaver::EntitySaver(const DataFactory& factory) : factory_(factory) {}

QByteArray EntitySaver::toJson(const std::vector<Entity*>& entities, const QString& fileName) const
{
    std::vector<Entity*> all;
    for (Entity* entity : entities)
    {
        if (!entity)
            continue;
        all.push_back(entity);
        entity->getOwnedChildEntities(all, true, true);
    }

    AttributeWriter writer(ProjectFileFormat::anchorFolder(fileName));
    std::string out = "{\n    \"format\": " + quoted(ProjectFileFormat::formatName) +
                      ",\n    \"version\": " + std::to_string(ProjectFileFormat::version) +
                      ",\n    \"entities\": [";
    for (std::size_t i = 0; i < all.size(); ++i)
    {
        const Entity& entity = *all[i];
        out += i ? ",\n" : "\n";
        out += "        {\n            \"type\": " + quoted(entity.getTypeRef().getLabel()) +
               ", \"name\": " + quoted(entity.getName()) + ", \"id\": ";
        printInline(idNode(entity.getID()), out);
        const Node attributes = writer.composite(entity);
        if (!attributes.empty())
        {
            out += ",\n            \"attributes\": ";
            print(attributes, out, 12, 14);
        }
        out += "\n        }";
    }
    out += all.empty() ? "]\n}\n" : "\n    ]\n}\n";
    return QByteArray::fromStdString(out);
}

bool EntitySaver::save(const std::vector<Entity*>& entities, const QString& fileName) const
{
    const QByteArray json = toJson(entities, fileName);
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(json) != json.size())
    {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
} // namespace EntityModel
