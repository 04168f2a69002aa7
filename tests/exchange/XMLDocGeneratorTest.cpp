// The exchange model document: element names, attributes, value formats, escaping, and a write
// that never leaves a broken document in place of a good one.
#include "src/exchange/XMLDocGenerator.h"

#include "src/model/ArrayAttribute.h"
#include "src/model/Entity.h"
#include "src/model/LinkAttribute.h"
#include "src/model/ListAttribute.h"
#include "src/model/ShortcutAttribute.h"
#include "src/model/ValueAttribute.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iomanip>
#include <limits>
#include <random>
#include <stdexcept>

namespace Model = Conflux::Model;
using Model::AccessType;

namespace
{
template <class T>
Model::ValueAttribute<T>* addValue(Model::CompositeAttribute& parent, const std::string& name,
                                   const T& initial, AccessType access = AccessType::ReadWrite,
                                   const std::string& unit = {})
{
    auto value = std::make_unique<Model::ValueAttribute<T>>(name, access, nullptr);
    value->createValue(Model::ValueType::Chronological).setValue(initial);
    value->setUnit(unit);
    return static_cast<Model::ValueAttribute<T>*>(parent.addAttribute(std::move(value)));
}

template <class A, class... Args> A* addNode(Model::CompositeAttribute& parent, Args&&... args)
{
    return static_cast<A*>(parent.addAttribute(std::make_unique<A>(std::forward<Args>(args)...)));
}

/// A tree with one node of every kind, names and texts that need escaping, and values that show
/// the number formats.
std::unique_ptr<Model::Entity> sampleTree()
{
    auto root =
        std::make_unique<Model::Entity>("Hall & <Co>", "Main \"Hall\"", AccessType::ReadWrite, nullptr);
    root->setEntityID(Model::EntityID({-1, 0}));
    addValue<double>(*root, "Power", 1234567.0, AccessType::ReadWrite, "W");
    addValue<float>(*root, "Ratio", 0.1f, AccessType::ReadOnly);
    auto* count = addValue<int>(*root, "Count", 4, AccessType::WriteOnly);
    count->value()->setValue(9, 2);
    count->value()->setValue(11, 5); // after the chronology the document shows
    addValue<bool>(*root, "On", true, AccessType::None);
    addValue<bool>(*root, "Off", false);
    addValue<std::string>(*root, "Note", "a < b & c \"d\"");
    auto* group = addNode<Model::CompositeAttribute>(*root, "Group", AccessType::ReadOnly, nullptr);
    addValue<int>(*group, "Inner", -7);
    addNode<Model::CompositeAttribute>(*root, "Empty", AccessType::ReadOnly, nullptr);
    auto* link = addNode<Model::LinkAttribute>(*root, "Rack", "Rack", AccessType::ReadOnly, true, nullptr);
    auto rack = std::make_unique<Model::Entity>("Rack", "R1", AccessType::ReadWrite, nullptr);
    rack->setEntityID(Model::EntityID({12, 3}));
    addValue<double>(*rack, "Load", 0.5);
    link->addEntity(std::move(rack));
    addNode<Model::ListAttribute>(*root, "Racks", "Rack", AccessType::ReadOnly, false, nullptr);
    addNode<Model::ArrayAttribute>(*root, "Slots", "Rack", AccessType::ReadOnly, false, nullptr);
    auto* quick = addNode<Model::ShortcutAttribute>(*root, "Quick", AccessType::ReadOnly, nullptr);
    quick->addShortcut(Model::AttributePath("Power"));
    quick->addShortcut(Model::AttributePath({"Group", "Inner"}));
    addNode<Model::ShortcutAttribute>(*root, "Nowhere", AccessType::ReadOnly, nullptr);
    return root;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeText(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
} // namespace

TEST(XMLDocGenerator, WritesEveryKindWithItsAttributesAndValue)
{
    // Values are read at chronology 3 (Count shows its chronology-2 value), numbers in g format with
    // 6 digits, entity identifiers as first-second, texts and attributes escaped.
    const auto root = sampleTree();
    const QByteArray expected = R"(<?xml version="1.0" encoding="UTF-8"?>
<Entity label="Hall &amp; &lt;Co&gt;" access="ReadWrite" path="Hall &amp; &lt;Co&gt;" EntityID="-1-0" Name="Main &quot;Hall&quot;">
  <Double label="Power" access="ReadWrite" path="Hall &amp; &lt;Co&gt;.Power">1.23457e+06</Double>
  <Float label="Ratio" access="ReadOnly" path="Hall &amp; &lt;Co&gt;.Ratio">0.1</Float>
  <Integer label="Count" access="WriteOnly" path="Hall &amp; &lt;Co&gt;.Count">9</Integer>
  <Boolean label="On" access="None" path="Hall &amp; &lt;Co&gt;.On">true</Boolean>
  <Boolean label="Off" access="ReadWrite" path="Hall &amp; &lt;Co&gt;.Off">false</Boolean>
  <String label="Note" access="ReadWrite" path="Hall &amp; &lt;Co&gt;.Note">a &lt; b &amp; c &quot;d&quot;</String>
  <Composite label="Group" access="ReadOnly" path="Hall &amp; &lt;Co&gt;.Group">
    <Integer label="Inner" access="ReadWrite" path="Hall &amp; &lt;Co&gt;.Group.Inner">-7</Integer>
  </Composite>
  <Composite label="Empty" access="ReadOnly" path="Hall &amp; &lt;Co&gt;.Empty"/>
  <Link label="Rack" access="ReadOnly" path="Hall &amp; &lt;Co&gt;.Rack">
    <Entity label="Rack" access="ReadWrite" path="Hall &amp; &lt;Co&gt;.Rack.Rack" EntityID="12-3" Name="R1">
      <Double label="Load" access="ReadWrite" path="Hall &amp; &lt;Co&gt;.Rack.Rack.Load">0.5</Double>
    </Entity>
  </Link>
  <List label="Racks" access="ReadOnly" path="Hall &amp; &lt;Co&gt;.Racks"/>
  <Array label="Slots" access="ReadOnly" path="Hall &amp; &lt;Co&gt;.Slots"/>
  <Shortcut label="Quick" access="ReadOnly" path="Hall &amp; &lt;Co&gt;.Quick">Power
Group.Inner</Shortcut>
  <Shortcut label="Nowhere" access="ReadOnly" path="Hall &amp; &lt;Co&gt;.Nowhere"></Shortcut>
</Entity>
)";
    EXPECT_EQ(Conflux::XMLDocGenerator::toByteArray(*root).toStdString(), expected.toStdString());
}

TEST(XMLDocGenerator, DocumentReadsBackNodeByNode)
{
    const auto root = sampleTree();
    QXmlStreamReader reader(Conflux::XMLDocGenerator::toByteArray(*root));
    struct Seen
    {
        QString element, label, access, path, text;
        QStringList attributeNames;
    };
    std::vector<Seen> seen;
    std::vector<std::size_t> open;
    while (!reader.atEnd())
    {
        reader.readNext();
        if (reader.isStartElement())
        {
            Seen s{reader.name().toString(),
                   reader.attributes().value("label").toString(),
                   reader.attributes().value("access").toString(),
                   reader.attributes().value("path").toString(),
                   {},
                   {}};
            for (const auto& attribute : reader.attributes())
                s.attributeNames << attribute.name().toString();
            open.push_back(seen.size());
            seen.push_back(s);
        }
        else if (reader.isCharacters() && !reader.isWhitespace() && !open.empty())
            seen[open.back()].text += reader.text().toString();
        else if (reader.isEndElement())
            open.pop_back();
    }
    ASSERT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    ASSERT_EQ(seen.size(), 17u);
    EXPECT_EQ(seen[0].attributeNames, (QStringList{"label", "access", "path", "EntityID", "Name"}));
    EXPECT_EQ(seen[0].label, "Hall & <Co>");
    EXPECT_EQ(seen[1].attributeNames, (QStringList{"label", "access", "path"}));
    struct Row
    {
        std::size_t index;
        const char* element;
        const char* access;
        const char* path;
        const char* text;
    };
    const Row rows[] = {
        {1, "Double", "ReadWrite", "Hall & <Co>.Power", "1.23457e+06"},
        {2, "Float", "ReadOnly", "Hall & <Co>.Ratio", "0.1"},
        {3, "Integer", "WriteOnly", "Hall & <Co>.Count", "9"},
        {4, "Boolean", "None", "Hall & <Co>.On", "true"},
        {5, "Boolean", "ReadWrite", "Hall & <Co>.Off", "false"},
        {6, "String", "ReadWrite", "Hall & <Co>.Note", "a < b & c \"d\""},
        {8, "Integer", "ReadWrite", "Hall & <Co>.Group.Inner", "-7"},
        {11, "Entity", "ReadWrite", "Hall & <Co>.Rack.Rack", ""},
        {12, "Double", "ReadWrite", "Hall & <Co>.Rack.Rack.Load", "0.5"},
        {15, "Shortcut", "ReadOnly", "Hall & <Co>.Quick", "Power\nGroup.Inner"},
        {16, "Shortcut", "ReadOnly", "Hall & <Co>.Nowhere", ""},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.path);
        const Seen& s = seen.at(row.index);
        EXPECT_EQ(s.element, row.element);
        EXPECT_EQ(s.access, row.access);
        EXPECT_EQ(s.path, row.path);
        EXPECT_EQ(s.text, QString::fromUtf8(row.text));
    }
}

TEST(XMLDocGenerator, AccessTypeOutsideTheFourIsRefused)
{
    auto root = sampleTree();
    root->findAttribute(Model::AttributePath("Group"), false)->setAccessType(static_cast<AccessType>(4));
    try
    {
        Conflux::XMLDocGenerator::toByteArray(*root);
        ADD_FAILURE() << "no exception";
    }
    catch (const std::logic_error& error)
    {
        EXPECT_STREQ(error.what(), "Not implemented");
    }
}

TEST(XMLDocGeneratorFile, ReplacesTheTargetOnlyWithACompleteDocument)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("exchange.xml");
    const QByteArray earlier = "<earlier/>\n";
    ASSERT_TRUE(writeText(path, earlier));
    const auto listing = [&] { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); };

    // An access type the writer refuses: the exception reaches the caller, the old document stays.
    auto broken = sampleTree();
    broken->findAttribute(Model::AttributePath("Ratio"), false)->setAccessType(static_cast<AccessType>(-1));
    EXPECT_THROW(Conflux::XMLDocGenerator::writeFile(*broken, path), std::logic_error);
    EXPECT_EQ(readFile(path), earlier);
    EXPECT_EQ(listing(), QStringList{"exchange.xml"});

    // A value getter that fails half way through (a value with no chronology stored yet).
    auto failing = sampleTree();
    auto* empty = static_cast<Model::ValueAttribute<double>*>(
        failing->findAttribute(Model::AttributePath({"Rack", "Rack", "Load"}), false));
    empty->createValue(Model::ValueType::Chronological);
    EXPECT_THROW(Conflux::XMLDocGenerator::writeFile(*failing, path), std::out_of_range);
    EXPECT_EQ(readFile(path), earlier);
    EXPECT_EQ(listing(), QStringList{"exchange.xml"});

    // A complete document replaces it.
    const auto good = sampleTree();
    QString error;
    EXPECT_TRUE(Conflux::XMLDocGenerator::writeFile(*good, path, &error)) << error.toStdString();
    EXPECT_EQ(readFile(path), Conflux::XMLDocGenerator::toByteArray(*good));
    EXPECT_EQ(listing(), QStringList{"exchange.xml"});
}

TEST(XMLDocGeneratorFile, UnwritablePlaceIsReportedWithItsPath)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("missing/exchange.xml");
    QString error;
    EXPECT_FALSE(Conflux::XMLDocGenerator::writeFile(*sampleTree(), path, &error));
    EXPECT_TRUE(error.startsWith("Cannot write the exchange model document '" + path + "': "))
        << error.toStdString();
    EXPECT_FALSE(QFile::exists(path));
}

TEST(XMLDocGenerator, CharactersXMLCannotCarryAreRefusedWithTheirEntity)
{
    struct Row
    {
        const char* name;
        std::function<void(Model::Entity&)> spoil;
        std::string error;
    };
    const Row rows[] = {
        {"an entity name",
         [](Model::Entity& root)
         {
             auto* link =
                 static_cast<Model::LinkAttribute*>(root.findAttribute(Model::AttributePath("Rack"), false));
             link->getEntities(false).front()->setName(std::string("R\0"
                                                                   "1",
                                                                   3));
         },
         "Entity 'R\\u00001' (Hall & <Co>.Rack.Rack): its name holds the control character U+0000, which an "
         "XML "
         "document cannot carry"},
        {"a text value",
         [](Model::Entity& root)
         {
             static_cast<Model::ValueAttribute<std::string>*>(
                 root.findAttribute(Model::AttributePath("Note"), false))
                 ->value()
                 ->setValue(std::string("bell\a"), 3);
         },
         "Attribute 'Hall & <Co>.Note' of entity 'Main \"Hall\"': its value holds the control character "
         "U+0007, "
         "which an XML document cannot carry"},
        {"a label", [](Model::Entity& root) { addValue<int>(root, "Tab\tand\x1f", 1); },
         "Attribute 'Hall & <Co>.Tab\tand\\u001F' of entity 'Main \"Hall\"': its label holds the control "
         "character "
         "U+001F, which an XML document cannot carry"},
        {"U+FFFF in a shortcut target",
         [](Model::Entity& root)
         {
             static_cast<Model::ShortcutAttribute*>(
                 root.findAttribute(Model::AttributePath("Nowhere"), false))
                 ->addShortcut(Model::AttributePath("A\xEF\xBF\xBF"));
         },
         "Attribute 'Hall & <Co>.Nowhere' of entity 'Main \"Hall\"': its target holds the control character "
         "U+FFFF, "
         "which an XML document cannot carry"},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        auto root = sampleTree();
        row.spoil(*root);
        try
        {
            Conflux::XMLDocGenerator::toByteArray(*root);
            ADD_FAILURE() << "no exception";
        }
        catch (const std::runtime_error& error)
        {
            EXPECT_EQ(error.what(), row.error);
        }
    }
    // Tab, line feed and carriage return are ordinary characters.
    auto root = sampleTree();
    addValue<std::string>(*root, "Lines", "a\tb\nc\r");
    EXPECT_NO_THROW(Conflux::XMLDocGenerator::toByteArray(*root));
}

TEST(XMLDocGenerator, NumbersAreWrittenAsQtWritesThem)
{
    // The writer formats numbers itself; every text must be QString::number(value, 'g', 6),
    // including exact ties at the sixth digit (Qt rounds them away from zero), zeros of either
    // sign, subnormals, infinities, NaN, and floats widened to double.
    std::vector<double> values = {0.0,
                                  -0.0,
                                  0.1,
                                  static_cast<double>(0.1f),
                                  1234567,
                                  999999.5,
                                  999999.4,
                                  23440.25,
                                  -85626.25,
                                  124324.5,
                                  -2.5e-7,
                                  1e-5,
                                  1e-4,
                                  100000,
                                  5e-324,
                                  -1e-310,
                                  1.7976931348623157e308,
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN()};
    std::mt19937_64 random(16);
    for (int i = 0; i < 20000; ++i)
    {
        // Scaled integers hit ties often; raw bit patterns cover the whole range.
        double value =
            std::ldexp(static_cast<double>(random() % 2000000) - 1000000.0, int(random() % 60) - 40);
        if (i % 3 == 1)
        {
            const std::uint64_t bits = random();
            std::memcpy(&value, &bits, sizeof value);
            if (!std::isfinite(value))
                continue;
        }
        if (i % 3 == 2)
            value = static_cast<float>(value);
        values.push_back(value);
    }
    Model::Entity root("Numbers", "N", AccessType::ReadOnly, nullptr);
    for (std::size_t i = 0; i < values.size(); ++i)
        addValue<double>(root, "V" + std::to_string(i), values[i]);

    QXmlStreamReader reader(Conflux::XMLDocGenerator::toByteArray(root));
    std::size_t index = 0;
    while (reader.readNextStartElement())
    {
        if (reader.name() != QLatin1String("Double"))
            continue;
        ASSERT_LT(index, values.size());
        const double value = values[index++];
        EXPECT_EQ(reader.readElementText().toStdString(), QString::number(value, 'g', 6).toStdString())
            << "value " << std::setprecision(17) << value;
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    EXPECT_EQ(index, values.size());
}
