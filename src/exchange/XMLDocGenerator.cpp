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

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
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

/// Puts ASCII `text` into `target`, reusing its buffer: the writer's texts are made per element,
/// and a fresh QString for each would churn the heap (at 100,000 items that churn, not the
/// writing, was the larger part of the time).
void assignAscii(QString& target, const char* text, std::size_t size)
{
    target.resize(static_cast<int>(size));
    QChar* out = target.data();
    for (std::size_t i = 0; i < size; ++i)
        out[i] = QLatin1Char(text[i]);
}

/// `text` (UTF-8) into `target`; names are nearly always ASCII, which needs no decoding.
void assignText(QString& target, const std::string& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
        {
            target = QString::fromStdString(text);
            return;
        }
    assignAscii(target, text.data(), text.size());
}

/// Whether `value` lies exactly halfway between two numbers of six significant digits. Such a
/// value has exactly seven significant digits, the last a 5, so its shortest form shows them; the
/// check that the double equals that decimal is done in integers.
bool isSixDigitTie(double value)
{
    char text[40];
    const char* end =
        std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific).ptr;
    const char* exponent = std::find(static_cast<const char*>(text), end, 'e');
    std::uint64_t digits = 0;
    int count = 0;
    char last = 0;
    for (const char* c = text; c < exponent; ++c)
        if (*c != '.')
        {
            digits = digits * 10 + static_cast<std::uint64_t>(*c - '0');
            last = *c;
            ++count;
        }
    if (count != 7 || last != '5' || exponent == end)
        return false;
    int power = 0;
    std::from_chars(exponent + (exponent[1] == '+' ? 2 : 1), end, power);
    power -= 6;
    // digits * 10^power = (digits * 5^power) * 2^power: exact when the odd part is a whole number
    // that a double holds.
    for (int i = 0; i < power; ++i)
        if ((digits *= 5) > (std::uint64_t(1) << 53))
            return false;
    for (int i = 0; i < -power; ++i)
    {
        if (digits % 5 != 0)
            return false;
        digits /= 5;
    }
    return std::ldexp(static_cast<double>(digits), power) == std::fabs(value);
}

/// QString::number(value, 'g', 6) without its temporaries (it reallocates as it formats, which at
/// 100,000 items left the heap churning). std::to_chars in general form with precision 6 gives the
/// same digits, form and two-digit exponent, except that Qt rounds an exact tie away from zero
/// where to_chars rounds it to even: a tie is therefore formatted from the next double outward.
/// Zero (of either sign) is "0"; infinities and NaN keep Qt's own spelling.
void assignNumber(QString& target, double value)
{
    if (value == 0.0)
    {
        assignAscii(target, "0", 1);
        return;
    }
    if (!std::isfinite(value))
    {
        target = QString::number(value, 'g', 6);
        return;
    }
    if (isSixDigitTie(value))
        value = std::nextafter(value, std::copysign(HUGE_VAL, value));
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6).ptr;
    assignAscii(target, text, static_cast<std::size_t>(end - text));
}

void assignNumber(QString& target, int value)
{
    char text[16];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    assignAscii(target, text, static_cast<std::size_t>(end - text));
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
    assignText(m_label, name);
    m_pathEnds.push_back(m_path.size());
    if (!m_path.isEmpty())
        m_path += QLatin1Char('.');
    m_path += name.find_first_of(".\\") == std::string::npos ? m_label : pathStep(name);

    m_writer->writeStartElement(elementName(attribute.getAttributeType(false)));
    m_writer->writeAttribute(QStringLiteral("label"), m_label);
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
    const std::string& name = entity.getEntityName();
    checkText(entity, name, "name");
    startElement(entity);
    const auto [first, second] = entity.getEntityID().toPair();
    // An int takes at most 11 characters.
    char id[32];
    char* end = std::to_chars(id, id + 12, first).ptr;
    *end++ = '-';
    end = std::to_chars(end, id + sizeof id, second).ptr;
    assignAscii(m_text, id, static_cast<std::size_t>(end - id));
    m_writer->writeAttribute(QStringLiteral("EntityID"), m_text);
    assignText(m_text, name);
    m_writer->writeAttribute(QStringLiteral("Name"), m_text);
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
    std::string& targets = m_targets;
    targets.clear();
    for (const auto& target : shortcut.getShortcuts())
    {
        if (!targets.empty())
            targets += '\n';
        target.appendTo(targets);
    }
    checkText(shortcut, targets, "target");
    assignText(m_text, targets);
    writeValueElement(shortcut, m_text);
}

void XMLDocGenerator::visit(const Model::ValueAttribute<double>& value)
{
    assignNumber(m_text, value.getDoubleValue(documentChronology, false));
    writeValueElement(value, m_text);
}

void XMLDocGenerator::visit(const Model::ValueAttribute<float>& value)
{
    assignNumber(m_text, static_cast<double>(value.getFloatValue(documentChronology, false)));
    writeValueElement(value, m_text);
}

void XMLDocGenerator::visit(const Model::ValueAttribute<std::string>& value)
{
    const std::string text = value.getValue(documentChronology, false);
    checkText(value, text, "value");
    assignText(m_text, text);
    writeValueElement(value, m_text);
}

void XMLDocGenerator::visit(const Model::ValueAttribute<bool>& value)
{
    static const QString yes = QStringLiteral("true"), no = QStringLiteral("false");
    writeValueElement(value, value.getBoolValue(documentChronology, false) ? yes : no);
}

void XMLDocGenerator::visit(const Model::ValueAttribute<int>& value)
{
    assignNumber(m_text, value.getIntValue(documentChronology, false));
    writeValueElement(value, m_text);
}
} // namespace Conflux
