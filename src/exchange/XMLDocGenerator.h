#pragma once
#include "src/model/AttributeVisitorConstAbstract.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class QXmlStreamWriter;

namespace Conflux
{
namespace Model
{
class Attribute;
}

/// Writes the exchange model as the XML document that controller authors read: one element per
/// entity and attribute, named after its kind, with its label, access right and full path, and
/// with its current value (read at chronology 3) as content. Entities also carry their
/// identifier ("12-3") and name.
///
/// Constructing the generator starts the document on the writer and destroying it ends it, so
/// one generator brackets exactly one document. An access type outside None..ReadWrite throws
/// std::logic_error("Not implemented"); exceptions of the value getters pass through. A name,
/// label or text holding a character XML 1.0 cannot carry (a control character other than tab,
/// line feed and carriage return) throws std::runtime_error naming the entity and the character.
class XMLDocGenerator : Model::AttributeVisitorConstAbstract
{
public:
    /// Starts the document on `writer` (not owned).
    explicit XMLDocGenerator(QXmlStreamWriter* writer);
    ~XMLDocGenerator() override;
    XMLDocGenerator(const XMLDocGenerator&) = delete;
    XMLDocGenerator& operator=(const XMLDocGenerator&) = delete;

    /// Told the number of elements written so far, every few thousand elements.
    using Progress = std::function<void(std::size_t elements)>;

    /// Writes the element of `root` and everything below it.
    void write(const Model::Entity& root);
    void setProgress(Progress progress) { m_progress = std::move(progress); }

    /// The whole document of the tree below `root`, indented by 2 spaces per level.
    static QByteArray toByteArray(const Model::Entity& root);
    /// Writes the document to `path` through a temporary file that replaces `path` only once the
    /// whole document is written, so a failure never leaves a broken document in place of an
    /// earlier one. Returns false, with `error` naming the path and the cause, when the file cannot
    /// be written or replaced; exceptions of the walk reach the caller after the temporary file is
    /// discarded. `digest`, when given, receives the document's stamp (see documentStamp).
    static bool writeFile(const Model::Entity& root, const QString& path, QString* error = nullptr,
                          std::string* digest = nullptr, Progress progress = {});
    /// The stamp of a document's bytes (CFDSolver::ConfluxCntrl::stampAlgorithm, hexadecimal),
    /// which ties the exchange control to the document it was written with.
    static std::string documentStamp(const QByteArray& bytes);

private:
    void visit(const Model::Entity& entity) override;
    void visit(const Model::CompositeAttribute& composite) override;
    void visit(const Model::ArrayAttribute& array) override;
    void visit(const Model::ListAttribute& list) override;
    void visit(const Model::LinkAttribute& link) override;
    void visit(const Model::ShortcutAttribute& shortcut) override;
    void visit(const Model::ValueAttribute<double>& value) override;
    void visit(const Model::ValueAttribute<float>& value) override;
    void visit(const Model::ValueAttribute<std::string>& value) override;
    void visit(const Model::ValueAttribute<bool>& value) override;
    void visit(const Model::ValueAttribute<int>& value) override;

    /// Opens the element of a node with its label, access and path attributes; its path is the
    /// enclosing element's path and its own name, so paths pass down the walk.
    void startElement(const Model::Attribute& attribute);
    void endElement();
    void writeValueElement(const Model::Attribute& attribute, const QString& text);
    /// Throws when `text` holds a character XML cannot carry; `what` names the text in the message.
    void checkText(const Model::Attribute& attribute, const std::string& text, const char* what) const;

    QXmlStreamWriter* m_writer;
    /// The path of the element being written, and where each enclosing element's path ends.
    QString m_path;
    std::vector<int> m_pathEnds;
    /// The current element's label and text, kept so that their buffers are reused.
    QString m_label;
    QString m_text;
    std::string m_targets;
    std::size_t m_elements = 0;
    Progress m_progress;
};
} // namespace Conflux
