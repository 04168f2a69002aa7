#include "src/model/ai/AIFunctor.h"

#include "host/filesystem/DataIStream.h"
#include "host/filesystem/DataOStream.h"

namespace Conflux
{
namespace
{
void writePath(FileSystem::DataOStream& stream, const Model::AttributePath& path)
{
    stream << static_cast<std::uint64_t>(path.size());
    for (const std::string& name : path)
        stream << name;
}

Model::AttributePath readPath(FileSystem::DataIStream& stream)
{
    std::uint64_t size = 0;
    stream >> size;
    if (!stream.checkCount(size, 8))
        return {};
    std::vector<std::string> names;
    for (std::uint64_t i = 0; i < size && stream.good(); ++i)
        names.push_back(stream.read<std::string>());
    return Model::AttributePath(std::move(names));
}

void writeReferences(FileSystem::DataOStream& stream, const char* label,
                     const std::vector<AIFunctor::Reference>& references)
{
    stream.field(label, static_cast<std::uint64_t>(references.size()));
    for (const auto& reference : references)
        writePath(stream, reference.path());
}

std::vector<AIFunctor::Reference> readReferences(FileSystem::DataIStream& stream, const char* label)
{
    std::uint64_t count = 0;
    stream.field(label, count);
    std::vector<AIFunctor::Reference> references;
    if (!stream.checkCount(count, 8))
        return references;
    for (std::uint64_t i = 0; i < count && stream.good(); ++i)
        references.emplace_back(readPath(stream));
    return references;
}
} // namespace

AIFunctor::AIFunctor(std::string name, Model::Entity* owner, std::vector<Reference> inputs,
                     std::vector<Reference> outputs, AIModuleDefinition* definition)
    : m_name(std::move(name)),
      m_owner(owner),
      m_inputs(std::move(inputs)),
      m_outputs(std::move(outputs)),
      m_definition(definition)
{
}

bool AIFunctor::resolve(Model::Entity* root)
{
    bool all = m_owner.path().empty() || m_owner.resolve(root);
    for (auto& reference : m_inputs)
        all = reference.resolve(root) && all;
    for (auto& reference : m_outputs)
        all = reference.resolve(root) && all;
    return all;
}

void AIFunctor::rebind(const AIModuleDefinitionCollection& definitions)
{
    if (m_definition != nullptr)
        m_definition = definitions.find(*m_definition);
}

void AIFunctor::write(FileSystem::DataOStream& stream, const AIModuleDefinitionCollection& definitions) const
{
    stream.openTag("AIFunctor");
    stream.field("Name", m_name);
    stream.label("Owner");
    writePath(stream, m_owner.path());
    writeReferences(stream, "Inputs", m_inputs);
    writeReferences(stream, "Outputs", m_outputs);
    std::int64_t index = -1;
    if (m_definition != nullptr)
    {
        const auto found = definitions.indexOf(m_definition);
        const AIModuleDefinition* equal = found ? nullptr : definitions.find(*m_definition);
        if (found)
            index = static_cast<std::int64_t>(*found);
        else if (equal != nullptr)
            index = static_cast<std::int64_t>(*definitions.indexOf(equal));
    }
    stream.field("Definition", index);
    stream.closeTag("AIFunctor");
}

void AIFunctor::read(FileSystem::DataIStream& stream, const AIModuleDefinitionCollection& definitions)
{
    stream.openTag("AIFunctor");
    stream.field("Name", m_name);
    stream.label("Owner");
    m_owner = Model::AttributeReference<Model::Entity>(readPath(stream));
    m_inputs = readReferences(stream, "Inputs");
    m_outputs = readReferences(stream, "Outputs");
    std::int64_t index = -1;
    stream.field("Definition", index);
    m_definition = nullptr;
    if (index >= 0 && static_cast<std::uint64_t>(index) < definitions.size())
        m_definition = definitions.at(static_cast<std::size_t>(index));
    else if (index != -1)
        stream.setFailed("AIFunctor '" + m_name + "': no module definition " + std::to_string(index));
    stream.closeTag("AIFunctor");
}

bool AIFunctor::operator==(const AIFunctor& other) const
{
    const bool sameDefinition = m_definition == nullptr || other.m_definition == nullptr
                                    ? m_definition == other.m_definition
                                    : *m_definition == *other.m_definition;
    return m_name == other.m_name && m_owner == other.m_owner && m_inputs == other.m_inputs &&
           m_outputs == other.m_outputs && sameDefinition;
}
} // namespace Conflux
