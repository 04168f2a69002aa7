#include "src/exchange/XMLDocGenerator.h"

#include "src/model/ArrayAttribute.h"
#include "src/model/AttributeType.h"
#include "src/model/CompositeAttribute.h"
#include "src/model/Entity.h"
#include "src/model/LinkAttribute.h"
#include "src/model/ListAttribute.h"
#include "src/model/ShortcutAttribute.h"
#include "src/model/ValueAttribute.h"

#include <QBuffer>
#include <QSaveFile>
#include <QStringList>
#include <QXmlStreamWriter>

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
    case TesseraSDK::AccessType::None: return QStringLiteral("None");
    case TesseraSDK::AccessType::ReadOnly: return QStringLiteral("ReadOnly");
    case TesseraSDK::AccessType::WriteOnly: return QStringLiteral("WriteOnly");
    case TesseraSDK::AccessType::ReadWrite: return QStringLiteral("ReadWrite");
    }
    throw std::logic_error("Not implemented");
}

QString numberText(double value) { return QString::number(value, 'g', 6); }

void configure(QXmlStreamWriter& writer)
{
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(2);
}
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
    root.accept(static_cast<Model::AttributeVisitorConstAbstract&>(*this));
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

bool XMLDocGenerator::writeFile(const Model::Entity& root, const QString& path, QString* error)
{
    const auto fail = [&](const QString& cause) {
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
        QXmlStreamWriter writer(&file);
        configure(writer);
        {
            XMLDocGenerator generator(&writer);
            generator.write(root);
        }
        writeFailed = writer.hasError();
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

void XMLDocGenerator::startElement(const Model::Attribute& attribute)
{
    m_writer->writeStartElement(QString::fromStdString(attributeTypeToString(attribute.getAttributeType(false))));
    m_writer->writeAttribute(QStringLiteral("label"), QString::fromStdString(attribute.getType()));
    m_writer->writeAttribute(QStringLiteral("access"), accessText(attribute.getAccessType()));
    m_writer->writeAttribute(QStringLiteral("path"), QString::fromStdString(attribute.getAttributePath(true).toString()));
}

void XMLDocGenerator::writeValueElement(const Model::Attribute& attribute, const QString& text)
{
    startElement(attribute);
    m_writer->writeCharacters(text);
    m_writer->writeEndElement();
}

void XMLDocGenerator::visit(const Model::Entity& entity)
{
    startElement(entity);
    const auto [first, second] = entity.getEntityID().toPair();
    m_writer->writeAttribute(QStringLiteral("EntityID"), QStringLiteral("%1-%2").arg(first).arg(second));
    m_writer->writeAttribute(QStringLiteral("Name"), QString::fromStdString(entity.getName(false)));
    AttributeVisitorConstAbstract::visit(entity);
    m_writer->writeEndElement();
}

void XMLDocGenerator::visit(const Model::CompositeAttribute& composite)
{
    startElement(composite);
    AttributeVisitorConstAbstract::visit(composite);
    m_writer->writeEndElement();
}

void XMLDocGenerator::visit(const Model::ArrayAttribute& array)
{
    startElement(array);
    AttributeVisitorConstAbstract::visit(array);
    m_writer->writeEndElement();
}

void XMLDocGenerator::visit(const Model::ListAttribute& list)
{
    startElement(list);
    AttributeVisitorConstAbstract::visit(list);
    m_writer->writeEndElement();
}

void XMLDocGenerator::visit(const Model::LinkAttribute& link)
{
    startElement(link);
    AttributeVisitorConstAbstract::visit(link);
    m_writer->writeEndElement();
}

void XMLDocGenerator::visit(const Model::ShortcutAttribute& shortcut)
{
    QStringList targets;
    for (const auto& target : shortcut.getShortcuts())
        targets << QString::fromStdString(target.toString());
    writeValueElement(shortcut, targets.join(QLatin1Char('\n')));
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
    writeValueElement(value, QString::fromStdString(value.getValue(documentChronology, false)));
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
