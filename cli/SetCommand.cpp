// confluxtool set PROJECT [-o OUT] ENTITY PATH=VALUE...: edits a project as the application does
// (through the entity model's editor, so edit extenders and the derived-data pass run) and saves it.
#include "cli/Command.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DoubleAttribute.h"
#include "host/entitymodel/EditTransaction.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityEditor.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/LinkAttribute.h"
#include "host/entitymodel/Project.h"
#include "host/entitymodel/ProjectFile.h"
#include "host/entitymodel/Schema.h"
#include "host/entitymodel/UnitConverter.h"
#include "src/project/CurrentProject.h"
#include "src/project/EntityLookup.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>

using namespace EntityModel;

namespace
{
const char* usage = R"(Usage: confluxtool set PROJECT [-o OUT] ENTITY PATH=VALUE...

Edits values of one entity of a project file and saves the project: in place, or as OUT with -o.
The edits are made as the application makes them, so switching an equipment item or a controller
to "AI Model" creates its AI model (and switching it away deletes it), and the derived data of AI
models (the solution control's AI model flag, each input's and output's candidate attributes) is
brought up to date once all edits are made. Each edit is printed with what it created or deleted,
then what the derived data changed.

  ENTITY       the entity's name, its path below the project ("Data Hall 1/Rack A01/Server A01-1",
               as the edits print it), TYPE:NAME ("IT Equipment:Server A01-1") or its ID ("1-40");
               a name that several entities share is refused with the candidates listed
  PATH=VALUE   PATH is the attribute's dotted label path ("Cooling.Modelling Level"); VALUE is
               text, a whole number, true/false, a number with an optional unit ("24 °C", "650 W";
               no unit: the standard unit), a type label ("AI Model"), a unit label, the count of a
               counted list, or for a link the name (or TYPE:NAME) of the entity to link, names
               separated by ", " for a list, and nothing to empty the link
  -o, --output OUT   write the edited project to OUT instead of PROJECT

The project is saved atomically. Any edit that is refused (unknown entity or path, a value of the
wrong kind or out of bounds, a read-only attribute, a link to an entity of the wrong type) leaves
the files untouched, names the edit and exits with status 2, as does a project that cannot be read.
)";

const ConfluxCli::Command& self()
{
    return ConfluxCli::command("set");
}

/// An edit the command refuses; its text says why.
struct Refused : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

std::vector<Entity*> allEntities(Entity* root)
{
    std::vector<Entity*> all{root};
    root->getOwnedChildEntities(all, true, true);
    return all;
}

std::string describe(const Entity* entity)
{
    return entity->getTypeRef().getLabel() + " '" + entity->getFullDisplayName() + "'";
}

/// The entity `text` names (its name, path, TYPE:NAME or ID); a name several entities share is refused
/// with the candidates.
Entity* findEntity(Entity* root, const std::string& text)
{
    try
    {
        return Conflux::EntityLookup::find(root, text);
    }
    catch (const Conflux::EntityLookup::Error& error)
    {
        throw Refused(error.what());
    }
}

std::string labels(const std::vector<TypeRef>& types)
{
    std::string text;
    for (TypeRef type : types)
        text += (text.empty() ? "" : ", ") + type.getLabel();
    return text;
}

void checkBounds(const Attribute& attribute, double value)
{
    if (const auto min = attribute.getMinimum(); min && value < *min)
        throw Refused(DoubleAttribute::format(value) + " is below the minimum " +
                      DoubleAttribute::format(*min));
    if (const auto max = attribute.getMaximum(); max && value > *max)
        throw Refused(DoubleAttribute::format(value) + " is above the maximum " +
                      DoubleAttribute::format(*max));
}

/// A number with an optional unit, in the attribute's standard unit.
double standardValue(const DoubleAttribute& attribute, const std::string& text)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*([-+]?[0-9.]+(?:[eE][-+]?[0-9]+)?)\s*(.*?)\s*$)"));
    const QRegularExpressionMatch match = pattern.match(QString::fromStdString(text));
    bool ok = false;
    const double value = match.hasMatch() ? match.captured(1).toDouble(&ok) : 0.0;
    if (!ok)
        throw Refused("'" + text + "' is not a number");
    const std::string unit = match.captured(2).toStdString();
    if (unit.empty())
        return value;
    const UnitTypeAttribute* unitAttribute = attribute.getUnitAttribute();
    const TypeRef quantity = unitAttribute ? unitAttribute->getQuantity() : TypeRef();
    const auto transform =
        quantity.empty() ? std::nullopt : UnitConverter::instance().transform(quantity, unit);
    if (!transform)
        throw Refused("'" + unit + "' is not a unit of " +
                      (quantity.empty() ? "this value" : quantity.getLabel()));
    return UnitConverter::instance().toStandard(quantity, unit, value);
}

std::vector<std::string> splitNames(const std::string& text)
{
    std::vector<std::string> names;
    for (const QString& name : QString::fromStdString(text).split(QStringLiteral(", "), Qt::SkipEmptyParts))
        names.push_back(name.trimmed().toStdString());
    return names;
}

void setLink(Entity* root, Entity* entity, LinkAttribute& link, const std::string& text)
{
    const AttributePath path = link.getAttributePath();
    if (link.isOwning())
        throw Refused(
            "the link owns its entities: they are made by edits (such as a modelling level), not linked");
    std::vector<Entity*> targets;
    for (const std::string& name : splitNames(text))
    {
        Entity* target = findEntity(root, name);
        if (!link.accepts(target))
            throw Refused("a link to an entity of the wrong type: " + describe(target) + " is no " +
                          labels(link.getLinkedTypes().getTypes()));
        targets.push_back(target);
    }
    if (targets.size() > link.capacity())
        throw Refused("the link holds at most " + std::to_string(link.capacity()) + " entities");
    EntityEditor::removeAllEntities(entity, path);
    for (Entity* target : targets)
        if (!EntityEditor::addEntity(entity, path, target))
            throw Refused("cannot link " + describe(target));
}

/// Applies one edit through the editor, or throws Refused saying why it cannot.
void applyEdit(Entity* root, Entity* entity, const std::string& pathText, const std::string& value)
{
    Attribute* attribute = pathText.empty() ? nullptr : entity->findAttribute(pathText);
    if (!attribute)
        throw Refused("no attribute '" + pathText + "' on " + describe(entity));
    if (attribute->isReadOnly())
        throw Refused("'" + pathText + "' is read-only");
    switch (attribute->kind())
    {
    case AttributeKind::Link:
    case AttributeKind::List:
    case AttributeKind::Array:
        setLink(root, entity, static_cast<LinkAttribute&>(*attribute), value);
        return;
    case AttributeKind::Double:
    {
        const double standard = standardValue(static_cast<DoubleAttribute&>(*attribute), value);
        checkBounds(*attribute, standard);
        EntityEditor::setAttributeValue(attribute, standard);
        return;
    }
    case AttributeKind::Int:
    case AttributeKind::CountedComposite:
    {
        // Bounds are those of the number; the editor refuses what is no whole number.
        bool ok = false;
        const int number = QString::fromStdString(value).trimmed().toInt(&ok);
        if (!ok)
            throw Refused("'" + value + "' is not a whole number");
        checkBounds(*attribute, number);
        if (!EntityEditor::setAttributeValueNoThrow(attribute, number))
            throw Refused("'" + value + "' does not fit");
        return;
    }
    case AttributeKind::Type:
    {
        const auto& candidates = attribute->getDefinition().candidates;
        const bool known = std::any_of(candidates.begin(), candidates.end(),
                                       [&](TypeRef c) { return c.getLabel() == value; });
        if (!known || !EntityEditor::setAttributeValueNoThrow(attribute, value))
            throw Refused("'" + value + "' is not one of " + labels(candidates));
        return;
    }
    case AttributeKind::Bool:
    case AttributeKind::String:
    case AttributeKind::Filename:
    case AttributeKind::UnitType:
        if (!EntityEditor::setAttributeValueNoThrow(attribute, value))
            throw Refused("'" + value + "' does not fit a " + kindName(attribute->kind()) + " value" +
                          (attribute->isUnitTypeAttribute()
                               ? " of " + static_cast<UnitTypeAttribute*>(attribute)->getQuantity().getLabel()
                               : std::string()));
        return;
    case AttributeKind::Composite:
    case AttributeKind::ByteArray:
    case AttributeKind::Curve:
    case AttributeKind::Shortcut:
        break;
    }
    throw Refused("'" + pathText + "' (" + kindName(attribute->kind()) +
                  ") cannot be set from the command line");
}

/// A value as the user gave it: links by the names of their entities, numbers with their unit.
std::string shown(const Attribute& attribute)
{
    if (attribute.isLinkAttribute())
    {
        std::string names;
        for (const Entity* target : static_cast<const LinkAttribute&>(attribute).getTargets())
            names += (names.empty() ? "" : ", ") + target->getName();
        return names;
    }
    if (attribute.isDoubleAttribute())
        if (const UnitTypeAttribute* unit = static_cast<const DoubleAttribute&>(attribute).getUnitAttribute())
            return attribute.getValue() + " " + UnitConverter::instance().getSIType(unit->getQuantity());
    return attribute.getValue();
}

/// What an entity was before the edits, so that deleted ones can still be named.
struct Snapshot
{
    std::map<ID, std::pair<const Entity*, std::string>> entities; // ID -> (pointer, description)
    std::map<const Entity*, std::string> byPointer;
    std::map<ID, ID> ownerOf;

    explicit Snapshot(Entity* root)
    {
        for (Entity* entity : allEntities(root))
        {
            entities[entity->getID()] = {entity, describeCandidate(entity)};
            byPointer[entity] = describeCandidate(entity);
            if (const Entity* owner = entity->getOwnerEntity())
                ownerOf[entity->getID()] = owner->getID();
        }
    }

    static std::string describeCandidate(const Entity* entity)
    {
        if (entity->getTypeRef() != AI_Model_Attribute_t)
            return describe(entity);
        // The composite holding the list is the input or output ("Input Value 1").
        const Entity* model = entity->getOwnerEntity();
        const CompositeAttribute* value = entity->getParent();
        return "candidate '" + getStringValue(entity, Name_t) + "' of " +
               (value ? value->getTypeRef().getLabel() + " of " : std::string()) +
               (model ? describe(model) : "no AI model");
    }
};

/// Prints the entities an edit created or deleted (not those inside another one it also deleted).
void printStructure(std::ostream& out, const Snapshot& before, Entity* root)
{
    const Snapshot after(root);
    const auto onlyIn = [](const Snapshot& in, const Snapshot& notIn, const ID& id)
    { return in.entities.count(id) && !notIn.entities.count(id); };
    const auto report = [&](const Snapshot& in, const Snapshot& notIn, const char* what)
    {
        for (const auto& [id, entry] : in.entities)
        {
            const auto owner = in.ownerOf.find(id);
            if (onlyIn(in, notIn, id) && (owner == in.ownerOf.end() || !onlyIn(in, notIn, owner->second)))
                out << "  " << what << " " << entry.second << "\n";
        }
    };
    report(after, before, "created");
    report(before, after, "deleted");
}

void printDerived(std::ostream& out, const ChangeSet& changes, const Snapshot& before)
{
    out << "Derived data: " << changes.getCreated().size() << " created, " << changes.getModified().size()
        << " changed, " << changes.getDeleted().size() << " deleted\n";
    // Ordered by their text, so that the report does not depend on memory addresses.
    const auto print = [&out](const char* what, std::set<std::string> texts)
    {
        for (const std::string& text : texts)
            out << "  " << what << " " << text << "\n";
    };
    std::set<std::string> created, changed, deleted;
    for (Entity* entity : changes.getCreated())
        created.insert(Snapshot::describeCandidate(entity));
    // Only those whose description shows the change: the rest were refreshed with what they held.
    for (Entity* entity : changes.getModified())
        if (const auto known = before.byPointer.find(entity);
            known == before.byPointer.end() || known->second != Snapshot::describeCandidate(entity))
            changed.insert(Snapshot::describeCandidate(entity));
    for (Entity* entity : changes.getDeleted())
    {
        const auto known = before.byPointer.find(entity);
        deleted.insert(known == before.byPointer.end() ? "an entity made by these edits" : known->second);
    }
    print("created", created);
    print("changed", changed);
    print("deleted", deleted);
}

int run(const std::vector<std::string>& args)
{
    QCommandLineParser parser;
    const QCommandLineOption output({"o", "output"}, "", "file name");
    if (const auto status = ConfluxCli::parseArguments(self(), parser, {output}, args))
        return *status;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() < 3)
        return ConfluxCli::usageError(self(), positional.isEmpty() ? "a project file is needed"
                                              : positional.size() == 1
                                                  ? "an entity is needed"
                                                  : "at least one PATH=VALUE edit is needed");
    const QString file = positional[0];
    const QString target = parser.isSet(output) ? parser.value(output) : file;
    const std::string entityText = positional[1].toStdString();

    std::unique_ptr<Project> project;
    try
    {
        project = ProjectFile::load(file);
    }
    catch (const std::exception& error)
    {
        std::cerr << "confluxtool set: " << error.what() << "\n";
        return 2;
    }
    const Conflux::CurrentProject current(project.get());
    Entity* root = project->getRootEntity();
    Entity* entity = nullptr;
    try
    {
        entity = findEntity(root, entityText);
    }
    catch (const Refused& refused)
    {
        std::cerr << "confluxtool set: " << refused.what() << "; nothing was saved\n";
        return 2;
    }

    const Snapshot start(root);
    EditTransaction transaction;
    for (qsizetype i = 2; i < positional.size(); ++i)
    {
        const std::string edit = positional[i].toStdString();
        const auto equals = edit.find('=');
        try
        {
            if (equals == std::string::npos)
                throw Refused("an edit is PATH=VALUE");
            const std::string path = edit.substr(0, equals), value = edit.substr(equals + 1);
            const Attribute* attribute = entity->findAttribute(path);
            const std::string was = attribute ? shown(*attribute) : std::string();
            const Snapshot before(root);
            applyEdit(root, entity, path, value);
            std::cout << entity->getFullDisplayName() << ": " << path << " = "
                      << shown(*entity->findAttribute(path)) << " (was " << (was.empty() ? "empty" : was)
                      << ")\n";
            printStructure(std::cout, before, root);
        }
        catch (const std::runtime_error& error)
        {
            std::cerr << "confluxtool set: edit '" << edit << "' on " << describe(entity)
                      << " refused: " << error.what() << "; nothing was saved\n";
            return 2;
        }
    }
    const ChangeSet changes = transaction.commit();
    printDerived(std::cout, changes, start);

    ProjectFile::save(*project, target);
    std::cout << "Saved " << target.toStdString() << "\n";
    return 0;
}

const ConfluxCli::CommandRegistration registration({"set", "edit values of an entity and save the project",
                                                    usage, run});
} // namespace
