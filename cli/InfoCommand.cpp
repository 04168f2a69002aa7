// confluxtool info PROJECT: what a project holds, and how its exchange and AI models are set up.
#include "cli/Command.h"

#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/EntityFetcher.h"
#include "host/entitymodel/EntityReading.h"
#include "host/entitymodel/ProjectFile.h"

#include <QFileInfo>

#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>

using namespace EntityModel;

namespace
{
const char* usage = R"(Usage: confluxtool info PROJECT

Prints a summary of a project file (JSON): its entities by type, the exchange settings of its
solution control (mode, version, log level, file-parser settings, controller libraries and Python
modules) and its AI models with the project values their inputs and outputs are bound to, the
candidate attributes each may choose from and whether its choice is valid.

A file that cannot be read is refused with a message naming the file, the entity and the attribute.
)";

std::string yesNo(bool value)
{
    return value ? "Yes" : "No";
}

std::string number(double value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

void row(std::ostream& out, const std::string& label, const std::string& value)
{
    out << "  " << std::left << std::setw(28) << label << value << "\n";
}

std::string joinNames(const std::vector<Entity*>& entities, std::size_t limit)
{
    std::string text;
    for (std::size_t i = 0; i < entities.size() && i < limit; ++i)
        text += (i ? ", " : "") +
                (entities[i]->getName().empty() ? std::string("(unnamed)") : entities[i]->getName());
    if (entities.size() > limit)
        text += ", ...";
    return text;
}

std::string handlers(Entity* controller)
{
    const std::vector<Entity*> list = getLinkedEntities(controller, Event_Handlers_t);
    return list.empty() ? "no event handlers" : "event handlers " + joinNames(list, 8);
}

void printEntities(std::ostream& out, const std::vector<Entity*>& all)
{
    std::map<std::string, std::vector<Entity*>> byType;
    for (Entity* entity : all)
        byType[entity->getTypeRef().getLabel()].push_back(entity);
    out << "Entities by type (" << all.size() << "):\n";
    for (const auto& [type, entities] : byType)
    {
        std::ostringstream count;
        count << std::right << std::setw(3) << entities.size() << "  ";
        row(out, type, count.str() + joinNames(entities, 4));
    }
}

void printExchange(std::ostream& out, Entity* root, Entity* control, const std::vector<Entity*>& all)
{
    out << "\nExchange:\n";
    if (!control)
    {
        row(out, "Solution control", "none");
        return;
    }
    const AttributePath exchange = Conflux_Control_t;
    row(out, "Active", yesNo(EntityFetcher::isConflux(root)));
    row(out, "Mode", getTypeValue(control, exchange / Mode_t).getLabel());
    row(out, "Version", getTypeValue(control, exchange / Version_t).getLabel());
    row(out, "Log level", getTypeValue(control, exchange / Log_Level_t).getLabel());
    row(out, "CFD generation events",
        yesNo(getBoolValue(control, exchange / Enable_CFD_Generation_Events_t)));
    row(out, "Force double attributes", yesNo(getBoolValue(control, exchange / "Force Double Attributes")));

    const AttributePath parser = exchange / FileParser_Properties_t;
    std::string heartbeat = "off";
    if (getBoolValue(control, parser / Use_Alive_HeartBeat_t))
    {
        const double grace = getStandardDoubleValue(control, parser / Client_heartbeat_check_grace_period_t);
        heartbeat = "every " +
                    number(getStandardDoubleValue(control, parser / Solver_heart_beat_interval_t)) +
                    " s, client " + (grace > 0 ? "checked after " + number(grace) + " s" : "not checked");
    }
    const bool limited = getBoolValue(control, parser / Limit_input_file_try_attempts_t);
    const bool eachStep = hasAttributeSetTo(control, parser / Sync_Mode_t, Each_Time_Step_t) &&
                          getBoolValue(control, Transient_t / Time_Varying_t);
    row(out, "File parser",
        "file mode " + getTypeValue(control, parser / File_Mode_t).getLabel() + ", state file " +
            getTypeValue(control, parser / State_File_Mode_t).getLabel() + ", parse failures " +
            getTypeValue(control, parser / Parse_Failure_Handling_t).getLabel());
    row(out, "",
        "heartbeat " + heartbeat + "; input file attempts " +
            (limited ? std::to_string(getIntValue(control, parser / Input_file_try_attempts_t))
                     : "unlimited"));
    row(out, "",
        "sync " +
            (eachStep ? std::string("each time step")
                      : "every " + std::to_string(getIntValue(control, parser / Sync_Iteration_Interval_t)) +
                            " iterations from iteration " +
                            std::to_string(getIntValue(control, parser / Sync_Start_Iteration_t))) +
            "; full entity names in CSV " +
            yesNo(getBoolValue(control, parser / Use_Full_Entity_Name_in_CSV_t)));

    for (Entity* library : getLinkedEntities(root, UserDefinedDLLList_t))
    {
        std::string files = getStringValue(library, Windows_Library_t / Dynamic_Link_Library_File_t);
        const std::string linux = getStringValue(library, Linux_Library_t / Shared_Object_File_t);
        files += (files.empty() || linux.empty() ? "" : ", ") + linux;
        row(out, "User-defined library",
            library->getName() + " (" + (files.empty() ? "no library files" : files) + "; " +
                handlers(library) + ")");
    }
    for (Entity* module : getLinkedEntities(root, PythonModulesList_t))
    {
        const std::string source =
            hasAttributeSetTo(module, Source_t, File_t)
                ? "file " + getStringValue(module, Python_File_t)
                : std::to_string(getStringValue(module, Python_Script_t).size()) + " characters of script";
        row(out, "Python module", module->getName() + " (" + source + "; " + handlers(module) + ")");
    }
    for (const char* properties : {"User Defined DLL Properties", "Python Module Properties"})
        if (Entity* handler = getLinkedEntity(control, exchange / properties / Event_Handler_t))
        {
            Entity* owner = handler->getOwnerEntity();
            row(out, std::string("Selected handler (") + (properties[0] == 'U' ? "library" : "Python") + ")",
                (owner ? owner->getName() + "." : std::string()) + handler->getName());
        }

    std::size_t switchedOn = 0;
    for (Entity* entity : all)
        switchedOn += getBoolValue(entity, Conflux_t / Active_t);
    row(out, "Entities switched on", std::to_string(switchedOn) + " of " + std::to_string(all.size()));
}

// The candidates the AI model calculator keeps for an input or output, and whether its choice is one of them.
void printChoice(std::ostream& out, CompositeAttribute* value)
{
    std::string names;
    std::size_t count = 0;
    for (Entity* candidate : getLinkedEntities(value, AI_Model_Attribute_List_t))
        names += (count++ ? ", " : "") + getStringValue(candidate, Name_t);
    row(out, "    candidates", count ? std::to_string(count) + ": " + names : "none");
    const Attribute* chosen = value->findAttribute(Attribute_t, false);
    if (chosen)
        chosen->ensureComputed();
    row(out, "    choice", chosen && chosen->isValid() ? "valid" : "not valid");
}

void printValues(std::ostream& out, Entity* model, const AttributePath& list, const char* role)
{
    auto* values = dynamic_cast<CountedCompositeAttribute*>(model->findAttribute(list));
    if (!values)
        return;
    for (std::size_t i = 0; i < values->childCount(); ++i)
    {
        CompositeAttribute* value = values->getItem(i);
        if (!value)
            continue;
        Entity* bound = getLinkedEntity(value, Entity_t);
        std::string text = bound ? bound->getName() : "(not bound)";
        const std::string attribute = getStringValue(value, Attribute_t);
        if (!attribute.empty())
            text += " : " + attribute;
        const bool hasMin = getBoolValue(value, "Bounds.Has Min"),
                   hasMax = getBoolValue(value, "Bounds.Has Max");
        if (hasMin || hasMax)
            text +=
                "  [" + (hasMin ? number(getStandardDoubleValue(value, "Bounds.Min")) : std::string("-inf")) +
                ", " + (hasMax ? number(getStandardDoubleValue(value, "Bounds.Max")) : std::string("+inf")) +
                "]";
        row(out, std::string("  ") + role + " " + std::to_string(i + 1), text);
        printChoice(out, value);
    }
}

void printAIModels(std::ostream& out, Entity* root, Entity* control, const std::vector<Entity*>& all)
{
    out << "\nAI models:\n";
    row(out, "Active", yesNo(EntityFetcher::isAIModelActive(root)));
    if (control)
    {
        const bool eachStep =
            hasAttributeSetTo(control, AI_Model_Control_t / Update_Mode_t, Each_Time_Step_t) &&
            getBoolValue(control, Transient_t / Time_Varying_t);
        row(out, "Update",
            eachStep
                ? "each time step"
                : "every " +
                      std::to_string(getIntValue(control, AI_Model_Control_t / Update_Iteration_Interval_t)) +
                      " iterations from iteration " +
                      std::to_string(getIntValue(control, AI_Model_Control_t / Update_Start_Iteration_t)));
    }
    for (Entity* model : all)
    {
        if (model->getTypeRef() != AI_Model_t)
            continue;
        Entity* owner = model->getOwnerEntity();
        const TypeRef type = getTypeValue(model, Model_Type_t);
        const std::map<TypeRef, TypeRef> dataOf{{NeuralNetwork_t, NeuralNetwork_Model_Data_t},
                                                {ONNX_t, ONNX_Model_Data_t},
                                                {TorchScript_t, TorchScript_Model_Data_t},
                                                {Python_t, Python_Model_Script_t}};
        const auto data = dataOf.find(type);
        const std::size_t bytes = data == dataOf.end() ? 0 : getByteArrayValue(model, data->second).size();
        std::string used = "not in use";
        if (owner)
        {
            const TypeRef choice = owner->getTypeRef() == Controller_t
                                       ? getTypeValue(owner, Controls_t / Mode_t)
                                       : getTypeValue(owner, Cooling_t / Modelling_Level_t);
            used = owner->getTypeRef().getLabel() + " " + owner->getName() +
                   (choice == AI_Model_t ? ", in use" : ", not in use");
        }
        row(out, model->getName().empty() ? "(unnamed)" : model->getName(), "for " + used);
        row(out, "  model",
            type.getLabel() + ", " +
                (bytes ? std::to_string(bytes) + " bytes of model data" : "no model data yet"));
        printValues(out, model, Specification_t / Inputs_t / Input_Values_t, "input");
        printValues(out, model, Specification_t / Outputs_t / Output_Values_t, "output");
    }
}

int run(const std::vector<std::string>& args)
{
    const ConfluxCli::Command& self = ConfluxCli::command("info");
    QCommandLineParser parser;
    if (const auto status = ConfluxCli::parseArguments(self, parser, {}, args))
        return *status;
    if (const auto status = ConfluxCli::expectOneProjectFile(self, parser))
        return *status;
    const QStringList files = parser.positionalArguments();

    const QString file = files.front();
    const auto project = ProjectFile::load(file);
    Entity* root = project->getRootEntity();
    std::vector<Entity*> all{root};
    root->getOwnedChildEntities(all, true, true);
    Entity* control = EntityFetcher::getSolutionControl(root);

    std::cout << "Project: " << root->getName()
              << "\nFile:    " << QFileInfo(file).absoluteFilePath().toStdString() << "\n\n";
    printEntities(std::cout, all);
    printExchange(std::cout, root, control, all);
    printAIModels(std::cout, root, control, all);
    return 0;
}

const ConfluxCli::CommandRegistration
    registration({"info", "summary of a project: entities, exchange and AI settings", usage, run});
} // namespace
