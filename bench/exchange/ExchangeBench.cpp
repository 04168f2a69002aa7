// Building and writing the exchange model of a synthetic data centre of 1,000, 10,000 and 100,000
// IT equipment items (31 exchange nodes each, in cabinet lists, with declared shortcuts).
// Figures, printed after the run:
//  - XML write time against writing the same bytes with a plain QXmlStreamWriter loop over
//    records prepared beforehand (the ratio is the writer's overhead for walking the model);
//  - how tree build and write time grow from 10,000 to 100,000 items (10 is linear);
//  - heap bytes held by the tree and attribute map per exchange node, and peak resident growth
//    during a build per exchange node.
#include "src/exchange/XMLDocGenerator.h"

#include "host/entitymodel/DataFactory.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/LinkAttribute.h"
#include "src/model/ArrayAttribute.h"
#include "src/model/AttributeType.h"
#include "src/model/AttributeVisitorConstAbstract.h"
#include "src/model/Entity.h"
#include "src/model/LinkAttribute.h"
#include "src/model/ListAttribute.h"
#include "src/model/ShortcutAttribute.h"
#include "src/model/ValueAttribute.h"
#include "src/model/builders/EntityTreeBuilder.h"

#include <QBuffer>
#include <QFile>
#include <QXmlStreamWriter>

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>

using namespace EntityModel;
namespace Model = Conflux::Model;

namespace
{
constexpr int itemsPerCabinet = 20;

AttributeDefinition attribute(AttributeKind kind, const std::string& name, const std::string& value = {},
                              const std::string& quantity = {})
{
    AttributeDefinition d;
    d.kind = kind;
    d.name = TypeRef(name);
    d.defaultValue = value;
    d.quantity = TypeRef(quantity);
    d.exchange.flagged = true;
    return d;
}

AttributeDefinition group(const std::string& name, std::vector<AttributeDefinition> children,
                          bool flagged = false)
{
    AttributeDefinition d = attribute(AttributeKind::Composite, name);
    d.exchange.flagged = flagged;
    d.children = std::move(children);
    return d;
}

AttributeDefinition exchangeSwitch()
{
    return group("Conflux", {attribute(AttributeKind::Bool, "Active", "true")});
}

AttributeDefinition list(const std::string& name, const std::string& type)
{
    AttributeDefinition d = attribute(AttributeKind::List, name);
    d.exchange.flagged = false;
    d.linkedTypes = {TypeRef(type)};
    d.owning = true;
    return d;
}

std::shared_ptr<const EntityDefinition> itemType()
{
    auto d = std::make_shared<EntityDefinition>();
    d->type = TypeRef("Bench Item");
    d->attributes.push_back(exchangeSwitch());
    for (int i = 0; i < 8; ++i)
    {
        AttributeDefinition power =
            attribute(AttributeKind::Double, "Power " + std::to_string(i), "150.5", "Power");
        power.exchange.declaredType = i % 2 ? "Double" : "Float";
        if (i < 2)
            power.exchange.shortcuts = {AttributePath("Owner.Summary.Power " + std::to_string(i))};
        d->attributes.push_back(power);
    }
    for (int i = 0; i < 4; ++i)
        d->attributes.push_back(attribute(AttributeKind::Int, "Fan " + std::to_string(i), "3"));
    for (int i = 0; i < 4; ++i)
        d->attributes.push_back(attribute(AttributeKind::Bool, "Switch " + std::to_string(i), "true"));
    AttributeDefinition mode = attribute(AttributeKind::Type, "Mode", "Fixed");
    mode.candidates = {TypeRef("Fixed"), TypeRef("Variable")};
    d->attributes.push_back(mode);
    std::vector<AttributeDefinition> results;
    for (int i = 0; i < 8; ++i)
    {
        AttributeDefinition result =
            attribute(AttributeKind::Double, "Outlet " + std::to_string(i), "30", "Temperature");
        result.exchange.readOnly = true;
        results.push_back(result);
    }
    d->attributes.push_back(group("Simulation Results", results));
    AttributeDefinition settings = group("Settings",
                                         {attribute(AttributeKind::Double, "Set Point", "24", "Temperature"),
                                          attribute(AttributeKind::Int, "Priority", "1")},
                                         true);
    settings.exchange.hideHeader = true;
    d->attributes.push_back(settings);
    AttributeDefinition quick = attribute(AttributeKind::Shortcut, "Quick");
    quick.targets = {AttributePath("Power 0")};
    d->attributes.push_back(quick);
    d->attributes.push_back(attribute(AttributeKind::Double, "Unflagged", "1"));
    d->attributes.back().exchange.flagged = false;
    return d;
}

/// A hall of cabinets of items, built once per size and kept for the whole run.
struct DataCentre
{
    explicit DataCentre(int items)
    {
        auto cabinetType = std::make_shared<EntityDefinition>();
        cabinetType->type = TypeRef("Bench Cabinet");
        cabinetType->attributes = {exchangeSwitch(), list("Equipment", "Bench Item")};
        auto hallType = std::make_shared<EntityDefinition>();
        hallType->type = TypeRef("Bench Hall");
        hallType->attributes = {exchangeSwitch(), list("Cabinets", "Bench Cabinet")};
        const auto item = itemType();
        hall = DataFactory::createEntity(hallType, "Hall");
        auto* cabinets = static_cast<LinkAttribute*>(hall->findAttribute("Cabinets"));
        LinkAttribute* equipment = nullptr;
        for (int i = 0; i < items; ++i)
        {
            if (i % itemsPerCabinet == 0)
                equipment = static_cast<LinkAttribute*>(
                    cabinets
                        ->adopt(DataFactory::createEntity(cabinetType,
                                                          "Cabinet " + std::to_string(i / itemsPerCabinet)))
                        ->findAttribute("Equipment"));
            equipment->adopt(DataFactory::createEntity(item, "Item " + std::to_string(i)));
        }
    }
    std::unique_ptr<Entity> hall;
};

DataCentre& dataCentre(int items)
{
    static std::map<int, std::unique_ptr<DataCentre>> made;
    auto& slot = made[items];
    if (!slot)
        slot = std::make_unique<DataCentre>(items);
    return *slot;
}

Model::EntityTree buildTree(int items)
{
    return Model::EntityTreeBuilder::create(dataCentre(items).hall.get(), TesseraSDK::AccessType::ReadWrite,
                                            true, false);
}

Model::EntityTree& keptTree(int items)
{
    static std::map<int, Model::EntityTree> made;
    auto& slot = made[items];
    if (!slot.first)
        slot = buildTree(items);
    return slot;
}

/// One element of the document, flattened: what a plain writer loop needs.
struct Record
{
    QString element, label, access, path, entityId, name, text;
    int depthChange; ///< elements to close after this one (its own end included when it has no children)
    bool isEntity, hasChildren;
};

/// Flattens the tree into the records of its document, in document order.
class Flattener : public Model::AttributeVisitorConstAbstract
{
public:
    std::vector<Record> records;
    std::vector<std::size_t> openIndex;

    void visit(const Model::Entity& e) override
    {
        open(e, true);
        const auto [a, b] = e.getEntityID().toPair();
        records.back().entityId = QStringLiteral("%1-%2").arg(a).arg(b);
        records.back().name = QString::fromStdString(e.getName(false));
        Model::AttributeVisitorConstAbstract::visit(e);
        close();
    }
    void visit(const Model::CompositeAttribute& c) override
    {
        container(c, [&] { Model::AttributeVisitorConstAbstract::visit(c); });
    }
    void visit(const Model::LinkAttribute& l) override
    {
        container(l, [&] { Model::AttributeVisitorConstAbstract::visit(l); });
    }
    void visit(const Model::ListAttribute& l) override
    {
        container(l, [&] { Model::AttributeVisitorConstAbstract::visit(l); });
    }
    void visit(const Model::ArrayAttribute& l) override
    {
        container(l, [&] { Model::AttributeVisitorConstAbstract::visit(l); });
    }
    void visit(const Model::ShortcutAttribute& s) override
    {
        QStringList t;
        for (const auto& p : s.getShortcuts())
            t << QString::fromStdString(p.toString());
        leaf(s, t.join('\n'));
    }
    void visit(const Model::ValueAttribute<double>& v) override
    {
        leaf(v, QString::number(v.getDoubleValue(3, false), 'g', 6));
    }
    void visit(const Model::ValueAttribute<float>& v) override
    {
        leaf(v, QString::number(static_cast<double>(v.getFloatValue(3, false)), 'g', 6));
    }
    void visit(const Model::ValueAttribute<std::string>& v) override
    {
        leaf(v, QString::fromStdString(v.getValue(3, false)));
    }
    void visit(const Model::ValueAttribute<bool>& v) override
    {
        leaf(v, v.getBoolValue(3, false) ? "true" : "false");
    }
    void visit(const Model::ValueAttribute<int>& v) override
    {
        leaf(v, QString::number(v.getIntValue(3, false)));
    }

private:
    static QString accessText(TesseraSDK::AccessType a)
    {
        static const QString texts[] = {"None", "ReadOnly", "WriteOnly", "ReadWrite"};
        return texts[static_cast<int>(a)];
    }
    void open(const Model::Attribute& a, bool entity)
    {
        records.push_back({QString::fromStdString(Conflux::attributeTypeToString(a.getAttributeType(false))),
                           QString::fromStdString(a.getType()),
                           accessText(a.getAccessType()),
                           QString::fromStdString(a.getAttributePath(true).toString()),
                           {},
                           {},
                           {},
                           0,
                           entity,
                           false});
        openIndex.push_back(records.size() - 1);
    }
    void close()
    {
        ++records.back().depthChange;
        openIndex.pop_back();
    }
    template <class F> void container(const Model::Attribute& a, F children)
    {
        open(a, false);
        children();
        close();
    }
    void leaf(const Model::Attribute& a, const QString& text)
    {
        open(a, false);
        records.back().text = text;
        close();
    }
};

/// The baseline: the same document written from prepared records, with no model walk and no value reads.
QByteArray plainDocument(const std::vector<Record>& records)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter writer(&buffer);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(2);
    writer.writeStartDocument();
    for (const Record& r : records)
    {
        writer.writeStartElement(r.element);
        writer.writeAttribute(QStringLiteral("label"), r.label);
        writer.writeAttribute(QStringLiteral("access"), r.access);
        writer.writeAttribute(QStringLiteral("path"), r.path);
        if (r.isEntity)
        {
            writer.writeAttribute(QStringLiteral("EntityID"), r.entityId);
            writer.writeAttribute(QStringLiteral("Name"), r.name);
        }
        if (!r.text.isNull())
            writer.writeCharacters(r.text);
        for (int i = 0; i < r.depthChange; ++i)
            writer.writeEndElement();
    }
    writer.writeEndDocument();
    return bytes;
}

std::size_t heapInUse()
{
    return mallinfo2().uordblks;
}

long peakResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

void resetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

std::size_t nodeCount(const Model::EntityTree& tree)
{
    struct Counter : Model::AttributeVisitorConstAbstract
    {
        std::size_t n = 0;
        void visit(const Model::Entity& e) override
        {
            ++n;
            Model::AttributeVisitorConstAbstract::visit(e);
        }
        void visit(const Model::CompositeAttribute& c) override
        {
            ++n;
            Model::AttributeVisitorConstAbstract::visit(c);
        }
        void visit(const Model::LinkAttribute& l) override
        {
            ++n;
            Model::AttributeVisitorConstAbstract::visit(l);
        }
        void visit(const Model::ListAttribute& l) override
        {
            ++n;
            Model::AttributeVisitorConstAbstract::visit(l);
        }
        void visit(const Model::ArrayAttribute& l) override
        {
            ++n;
            Model::AttributeVisitorConstAbstract::visit(l);
        }
        void visit(const Model::ShortcutAttribute&) override { ++n; }
        void visit(const Model::ValueAttribute<double>&) override { ++n; }
        void visit(const Model::ValueAttribute<float>&) override { ++n; }
        void visit(const Model::ValueAttribute<std::string>&) override { ++n; }
        void visit(const Model::ValueAttribute<bool>&) override { ++n; }
        void visit(const Model::ValueAttribute<int>&) override { ++n; }
    } counter;
    tree.first->accept(counter);
    return counter.n;
}

std::map<std::string, double> secondsPerIteration;
std::map<int, double> bytesPerNode, peakBytesPerNode;

void BM_BuildTree(benchmark::State& state)
{
    const int items = static_cast<int>(state.range(0));
    dataCentre(items);
    std::size_t nodes = 0;
    for (auto _ : state)
    {
        state.PauseTiming();
        malloc_trim(0);
        const std::size_t before = heapInUse();
        resetPeakResident();
        const long peakBefore = peakResidentKiB();
        state.ResumeTiming();
        auto tree = buildTree(items);
        state.PauseTiming();
        nodes = nodeCount(tree);
        bytesPerNode[items] = double(heapInUse() - before) / double(nodes);
        peakBytesPerNode[items] = double(peakResidentKiB() - peakBefore) * 1024.0 / double(nodes);
        {
            auto discard = std::move(tree);
        }
        state.ResumeTiming();
    }
    state.counters["nodes"] = double(nodes);
    state.counters["heap B/node"] = bytesPerNode[items];
    state.counters["peak RSS B/node"] = peakBytesPerNode[items];
}

void BM_WriteDocument(benchmark::State& state)
{
    const auto& tree = keptTree(static_cast<int>(state.range(0)));
    qsizetype size = 0;
    for (auto _ : state)
    {
        const QByteArray document = Conflux::XMLDocGenerator::toByteArray(*tree.first);
        size = document.size();
        benchmark::DoNotOptimize(document.constData());
    }
    state.SetBytesProcessed(state.iterations() * size);
}

void BM_PlainWriter(benchmark::State& state)
{
    const auto& tree = keptTree(static_cast<int>(state.range(0)));
    Flattener flat;
    tree.first->accept(flat);
    const QByteArray reference = Conflux::XMLDocGenerator::toByteArray(*tree.first);
    if (plainDocument(flat.records) != reference)
    {
        state.SkipWithError("the plain writer's document differs from the generator's");
        return;
    }
    for (auto _ : state)
    {
        const QByteArray document = plainDocument(flat.records);
        benchmark::DoNotOptimize(document.constData());
    }
    state.SetBytesProcessed(state.iterations() * reference.size());
}

void smaller(benchmark::internal::Benchmark* b)
{
    b->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);
}

/// The largest data centre is measured once per benchmark, to keep the run within minutes.
void largest(benchmark::internal::Benchmark* b)
{
    b->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
}

BENCHMARK(BM_BuildTree)->Apply(smaller);
BENCHMARK(BM_WriteDocument)->Apply(smaller);
BENCHMARK(BM_PlainWriter)->Apply(smaller);
BENCHMARK(BM_BuildTree)->Apply(largest);
BENCHMARK(BM_WriteDocument)->Apply(largest);
BENCHMARK(BM_PlainWriter)->Apply(largest);

/// Keeps each benchmark's processor time per iteration for the closing figures (processor time,
/// since the work is single-threaded and the machine may be shared).
class Reporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                secondsPerIteration[run.benchmark_name()] = run.cpu_accumulated_time / double(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};

double seconds(const std::string& name, int items)
{
    for (const char* iterations : {"/iterations:3", "/iterations:1"})
    {
        const auto found = secondsPerIteration.find(name + "/" + std::to_string(items) + iterations);
        if (found != secondsPerIteration.end())
            return found->second;
    }
    return 0.0;
}
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nFigures (ratios against baselines measured in this run):\n");
    for (int items : {1000, 10000, 100000})
    {
        const double write = seconds("BM_WriteDocument", items), plain = seconds("BM_PlainWriter", items);
        if (write > 0 && plain > 0)
            std::printf("  %6d items: XML stage throughput / plain QXmlStreamWriter = %.2f (goal >= 0.80)\n",
                        items, plain / write);
        if (bytesPerNode.count(items))
            std::printf(
                "  %6d items: heap held per exchange node %.0f B, peak resident growth per node %.0f B\n",
                items, bytesPerNode[items], peakBytesPerNode[items]);
    }
    for (const char* name : {"BM_BuildTree", "BM_WriteDocument", "BM_PlainWriter"})
    {
        const double small = seconds(name, 10000), large = seconds(name, 100000);
        if (small > 0 && large > 0)
            std::printf("  %s: time at 100,000 items / time at 10,000 items = %.2f (linear: 10%s)\n", name,
                        large / small, std::string(name) == "BM_BuildTree" ? "; goal <= 11" : "");
    }
    benchmark::Shutdown();
    return 0;
}
