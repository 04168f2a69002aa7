#include "src/exchange/XMLDocGenerator.h"

#include "src/model/ArrayAttribute.h"
#include "src/model/AttributeType.h"
#include "src/model/CompositeAttribute.h"
#include "src/model/Entity.h"
#include "src/model/LinkAttribute.h"
#include "src/model/ListAttribute.h"
#include "src/model/ShortcutAttribute.h"
#include "src/model/ValueAttribute.h"

#include "host/solver/ConfluxCntrl.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QSaveFile>
#include <QXmlStreamWriter>

#include <array>
#include <cstdio>
#include <stdexcept>

namespace Conflux
{
namespace
{
/// Values are read as the solver's controllers would see them once the exchange runs.
constexpr TesseraSDK::Chronology documentChronology = 3;

QString accessText(TesseraSDK::AccessType access)
{
    switch (access)
    {
    case TesseraSDK::AccessType::None:
        return QStringLiteral("None");
    case TesseraSDK::AccessType::ReadOnly:
        return QStringLiteral("ReadOnly");
    case TesseraSDK::AccessType::WriteOnly:
        return QStringLiteral("WriteOnly");
    case TesseraSDK::AccessType::ReadWrite:
        return QStringLiteral("ReadWrite");
    }
    throw std::logic_error("Not implemented");
}

QString numberText(double value)
{
    return QString::number(value, 'g', 6);
}

/// The element name of each kind, made once rather than per element.
const QString& elementName(TesseraSDK::AttributeType type)
{
    static const std::array<QString, 12> names = []
    {
        std::array<QString, 12> made;
        for (int i = 0; i < 12; ++i)
            made[static_cast<std::size_t>(i)] =
                QString::fromStdString(attributeTypeToString(static_cast<TesseraSDK::AttributeType>(i)));
        return made;
    }();
    const auto index = static_cast<std::size_t>(type);
    return names[index < names.size() ? index : 0];
}

/// A name as a step of a path's text: "." and "\" get a "\" in front (as AttributePath writes it).
QString pathStep(const std::string& name)
{
    if (name.find_first_of(".\\") == std::string::npos)
        return QString::fromStdString(name);
    std::string escaped;
    for (char c : name)
    {
        if (c == '.' || c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return QString::fromStdString(escaped);
}

/// The first character of UTF-8 `text` that XML 1.0 cannot carry, or -1: the control characters
/// other than tab, line feed and carriage return, and U+FFFE and U+FFFF.
long forbiddenCharacter(const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            return c;
        if (c == 0xEF && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
            (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE)
            return 0xFFFE + (static_cast<unsigned char>(text[i + 2]) & 1);
    }
    return -1;
}

/// The text with every character XML cannot carry shown as \uXXXX, for messages.
std::string visible(const std::string& text)
{
    std::string shown;
    for (unsigned char c : text)
    {
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
        {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", c);
            shown += escape;
        }
        else
            shown += static_cast<char>(c);
    }
    return shown;
}

void configure(QXmlStreamWriter& writer)
{
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(2);
}

/// Hands the document's bytes on to the file and to the hash of its stamp in one pass.
class StampingDevice : public QIODevice
{
public:
    explicit StampingDevice(QIODevice& target)
        : m_target(target), m_hash(CFDSolver::ConfluxCntrl::stampAlgorithm)
    {
        open(QIODevice::WriteOnly);
    }
    std::string stamp() const { return m_hash.result().toHex().toStdString(); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        m_hash.addData(data, static_cast<int>(size));
        return m_target.write(data, size);
    }

private:
    QIODevice& m_target;
    QCryptographicHash m_hash;
};

/// Elements between two progress reports.
constexpr std::size_t progressEvery = 4096;
} // namespace

XMLDocGenerator::XMLDocGenerator(QXmlStreamWriter* writer) : m_writer(writer)
{
    m_writer->writeStartDocument();
}

XMLDocGenerator::~XMLDocGenerator()
{
    m_writer->writeEndDocument();
}

void XMLDocGenerator::write(const Model::Entity& root)
{
    // Below a node held elsewhere the paths start with the names above it.
    m_path.clear();
    m_pathEnds.clear();
    if (const Model::Attribute* container = root.getContainer())
        m_path = QString::fromStdString(container->getAttributePath(true).toString());
    root.accept(static_cast<Model::AttributeVisitorConstAbstract&>(*this));
    if (m_progress)
        m_progress(m_elements);
}

std::string XMLDocGenerator::documentStamp(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, CFDSolver::ConfluxCntrl::stampAlgorithm).toHex().toStdString();
}

QByteArray XMLDocGenerator::toByteArray(const Model::Entity& root)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QXmlStreamWriter writer(&buffer);
        configure(writer);
        XMLDocGenerator generator(&writer);
        generator.write(root);
    }
    return bytes;
}

bool XMLDocGenerator::writeFile(const Model::Entity& root, const QString& path, QString* error,
                                std::string* digest, Progress progress)
{
    const auto fail = [&](const QString& cause)
    {
        if (error)
            *error = QStringLiteral("Cannot write the exchange model document '%1': %2").arg(path, cause);
        return false;
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    bool writeFailed = false;
    try
    {
        StampingDevice device(file);
        QXmlStreamWriter writer(&device);
        configure(writer);
        {
            XMLDocGenerator generator(&writer);
            generator.setProgress(std::move(progress));
            generator.write(root);
        }
        writeFailed = writer.hasError();
        if (digest)
            *digest = device.stamp();
    }
    catch (...)
    {
        // The target keeps whatever it held before; the half-written temporary file goes.
        file.cancelWriting();
        throw;
    }
    if (writeFailed)
    {
        const QString cause = file.errorString();
        file.cancelWriting();
        return fail(cause);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

void XMLDocGenerator::checkText(const Model::Attribute& attribute, const std::string& text,
                                const char* what) const
{
    const long character = forbiddenCharacter(text);
    if (character < 0)
        return;
    char code[8];
    std::snprintf(code, sizeof code, "U+%04lX", character);
    const Model::Entity* entity = attribute.getParentEntity();
    const std::string path = visible(attribute.getAttributePath(true).toString());
    std::string where;
    if (entity == &attribute)
        where = "Entity '" + visible(entity->getName(false)) + "' (" + path + ")";
    else
        where = "Attribute '" + path + "'" +
                (entity ? " of entity '" + visible(entity->getName(false)) + "'" : std::string());
    throw std::runtime_error(where + ": its " + what + " holds the control character " + code +
                             ", which an XML document cannot carry");
}

void XMLDocGenerator::startElement(const Model::Attribute& attribute)
{
    const std::string& name = attribute.getName();
    checkText(attribute, name, attribute.isEntity() ? "name" : "label");
    const QString label = QString::fromStdString(name);
    m_pathEnds.push_back(m_path.size());
    if (!m_path.isEmpty())
        m_path += QLatin1Char('.');
    m_path += name.find_first_of(".\\") == std::string::npos ? label : pathStep(name);

    m_writer->writeStartElement(elementName(attribute.getAttributeType(false)));
    m_writer->writeAttribute(QStringLiteral("label"), label);
    m_writer->writeAttribute(QStringLiteral("access"), accessText(attribute.getAccessType()));
    m_writer->writeAttribute(QStringLiteral("path"), m_path);
    if (m_progress && ++m_elements % progressEvery == 0)
        m_progress(m_elements);
}

void XMLDocGenerator::endElement()
{
    m_writer->writeEndElement();
    m_path.truncate(m_pathEnds.back());
    m_pathEnds.pop_back();
}

void XMLDocGenerator::writeValueElement(const Model::Attribute& attribute, const QString& text)
{
    startElement(attribute);
    m_writer->writeCharacters(text);
    endElement();
}

void XMLDocGenerator::visit(const Model::Entity& entity)
{
    const std::string name = entity.getName(false);
    checkText(entity, name, "name");
    startElement(entity);
    const auto [first, second] = entity.getEntityID().toPair();
    m_writer->writeAttribute(QStringLiteral("EntityID"),
                             QString::number(first) + QLatin1Char('-') + QString::number(second));
    m_writer->writeAttribute(QStringLiteral("Name"), QString::fromStdString(name));
    AttributeVisitorConstAbstract::visit(entity);
    endElement();
}

void XMLDocGenerator::visit(const Model::CompositeAttribute& composite)
{
    startElement(composite);
    AttributeVisitorConstAbstract::visit(composite);
    endElement();
}

void XMLDocGenerator::visit(const Model::ArrayAttribute& array)
{
    startElement(array);
    AttributeVisitorConstAbstract::visit(array);
    endElement();
}

void XMLDocGenerator::visit(const Model::ListAttribute& list)
{
    startElement(list);
    AttributeVisitorConstAbstract::visit(list);
    endElement();
}

void XMLDocGenerator::visit(const Model::LinkAttribute& link)
{
    startElement(link);
    AttributeVisitorConstAbstract::visit(link);
    endElement();
}

void XMLDocGenerator::visit(const Model::ShortcutAttribute& shortcut)
{
    std::string targets;
    for (const auto& target : shortcut.getShortcuts())
    {
        if (!targets.empty())
            targets += '\n';
        targets += target.toString();
    }
    checkText(shortcut, targets, "target");
    writeValueElement(shortcut, QString::fromStdString(targets));
}

void XMLDocGenerator::visit(const Model::ValueAttribute<double>& value)
{
    writeValueElement(value, numberText(value.getDoubleValue(documentChronology, false)));
}

void XMLDocGenerator::visit(const Model::ValueAttribute<float>& value)
{
    writeValueElement(value, numberText(static_cast<double>(value.getFloatValue(documentChronology, false))));
}

void XMLDocGenerator::visit(const Model::ValueAttribute<std::string>& value)
{
    const std::string text = value.getValue(documentChronology, false);
    checkText(value, text, "value");
    writeValueElement(value, QString::fromStdString(text));
}

void XMLDocGenerator::visit(const Model::ValueAttribute<bool>& value)
{
    writeValueElement(value, value.getBoolValue(documentChronology, false) ? QStringLiteral("true")
                                                                           : QStringLiteral("false"));
}

void XMLDocGenerator::visit(const Model::ValueAttribute<int>& value)
{
    writeValueElement(value, QString::number(value.getIntValue(documentChronology, false)));
}
} // namespace Conflux
