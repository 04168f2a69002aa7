#include "host/entitymodel/TypeRef.h"

#include <deque>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

namespace EntityModel
{
namespace
{
// The interning table: labels by id, ids by label. Labels live in a deque so that references handed
// out by getLabel() stay valid while other threads intern new labels.
class LabelTable
{
public:
    LabelTable()
    {
        add("");
#define ENTITYMODEL_TYPEREF(Name) add(labelFromConstantName(#Name));
#include "host/entitymodel/TypeRefs.def"
#undef ENTITYMODEL_TYPEREF
    }

    static LabelTable& instance()
    {
        static LabelTable table;
        return table;
    }

    std::uint32_t intern(std::string_view label)
    {
        {
            std::shared_lock lock(mutex_);
            if (auto it = ids_.find(label); it != ids_.end())
                return it->second;
        }
        std::unique_lock lock(mutex_);
        if (auto it = ids_.find(label); it != ids_.end())
            return it->second;
        return add(std::string(label));
    }

    const std::string& label(std::uint32_t id) const
    {
        std::shared_lock lock(mutex_);
        return labels_[id];
    }

private:
    std::uint32_t add(std::string label)
    {
        auto id = static_cast<std::uint32_t>(labels_.size());
        labels_.push_back(std::move(label));
        ids_.emplace(std::string_view(labels_.back()), id);
        return id;
    }

    mutable std::shared_mutex mutex_;
    std::deque<std::string> labels_;
    std::unordered_map<std::string_view, std::uint32_t> ids_;
};
} // namespace

TypeRef::TypeRef(std::string_view label) : id_(LabelTable::instance().intern(label)) {}

const std::string& TypeRef::getLabel() const
{
    return LabelTable::instance().label(id_);
}

std::string labelFromConstantName(std::string_view name)
{
    std::string label(name);
    for (char& c : label)
        if (c == '_')
            c = ' ';
    return label;
}
} // namespace EntityModel
