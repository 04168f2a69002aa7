#include "host/entitymodel/Attribute.h"

#include "host/entitymodel/AttributeVisitor.h"
#include "host/entitymodel/CompositeAttribute.h"
#include "host/entitymodel/DerivedFunctions.h"
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/Rule.h"

#include <atomic>
#include <mutex>

namespace EntityModel
{
namespace
{
std::atomic<std::uint64_t> cacheGeneration{1};

// Rule outcomes and derived values are cached in the attributes and filled in by whichever thread
// reads them first (the generation thread and the main thread read the same model). Computing one
// reads others, hence recursive.
std::recursive_mutex& cacheMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}
} // namespace

/// Outcomes of an attribute's rules, cached per edit generation.
struct Attribute::RuleCache
{
    std::unique_ptr<Rule> confluxReadOnlyRule;
    std::uint64_t hiddenGeneration = 0;
    std::uint64_t readOnlyGeneration = 0;
    bool hidden = false;
    bool readOnly = false;
};

std::uint64_t attributeCacheGeneration()
{
    return cacheGeneration.load(std::memory_order_relaxed);
}

void clearAttributeCacheGeneration()
{
    cacheGeneration.fetch_add(1, std::memory_order_relaxed);
}

bool TypeListRef::contains(TypeRef t) const
{
    for (TypeRef type : types_)
        if (type == t)
            return true;
    return false;
}

Attribute::Attribute(std::shared_ptr<const AttributeDefinition> definition)
    : definition_(std::move(definition)), name_(definition_->name), derivedStale_(isDerived())
{
}

Attribute::~Attribute() = default;

Attribute::RuleCache& Attribute::ruleCache() const
{
    if (!ruleCache_)
        ruleCache_ = std::make_unique<RuleCache>();
    return *ruleCache_;
}

Type Attribute::getType() const
{
    return Type(definition_->name);
}

Entity* Attribute::getOwnerEntity() const
{
    CompositeAttribute* p = parent_;
    while (p && !p->isEntity())
        p = p->parent_;
    return static_cast<Entity*>(p);
}

AttributePath Attribute::getAttributePath() const
{
    std::vector<TypeRef> names;
    for (const Attribute* a = this; a && !a->isEntity(); a = a->parent_)
        names.push_back(a->getTypeRef());
    return AttributePath(std::vector<TypeRef>(names.rbegin(), names.rend()));
}

AttributePath Attribute::getEntityAndAttributePath() const
{
    const Entity* entity = isEntity() ? static_cast<const Entity*>(this) : getOwnerEntity();
    AttributePath path;
    if (entity)
        path.append(TypeRef(entity->getName().empty() ? entity->getTypeRef().getLabel() : entity->getName()));
    path.append(getAttributePath());
    return path;
}

std::string Attribute::getDisplayName() const
{
    return getTypeRef().getLabel();
}

bool Attribute::isCompositeAttribute() const
{
    return kind() == AttributeKind::Composite || kind() == AttributeKind::CountedComposite;
}

bool Attribute::isStringAttribute() const
{
    return kind() == AttributeKind::String || kind() == AttributeKind::Filename;
}

bool Attribute::isLinkAttribute() const
{
    return kind() == AttributeKind::Link || kind() == AttributeKind::List || kind() == AttributeKind::Array;
}

bool Attribute::operator==(const TypeRef&) const
{
    return false;
}

Utilities::bytearray Attribute::byteArrayVal() const
{
    return Utilities::toByteArray(getValue());
}

bool Attribute::setValueFromString(const std::string&)
{
    return false;
}

bool Attribute::isHidden() const
{
    if (definition_->hidden)
        return true;
    if (!definition_->hiddenRule)
        return false;
    const std::lock_guard lock(cacheMutex());
    RuleCache& cache = ruleCache();
    std::uint64_t generation = attributeCacheGeneration();
    if (cache.hiddenGeneration != generation)
    {
        cache.hidden = Rule::holds(*definition_->hiddenRule, *this);
        cache.hiddenGeneration = generation;
    }
    return cache.hidden;
}

bool Attribute::isReadOnly() const
{
    if (readOnlyOverride_)
        return *readOnlyOverride_;
    if (definition_->readOnly)
        return true;
    if (!definition_->readOnlyRule)
        return false;
    const std::lock_guard lock(cacheMutex());
    RuleCache& cache = ruleCache();
    std::uint64_t generation = attributeCacheGeneration();
    if (cache.readOnlyGeneration != generation)
    {
        cache.readOnly = Rule::holds(*definition_->readOnlyRule, *this);
        cache.readOnlyGeneration = generation;
    }
    return cache.readOnly;
}

void Attribute::invalidate(bool recursive)
{
    valid_ = false;
    if (recursive)
        for (Attribute* child : getChildAttributes())
            child->invalidate(true);
}

void Attribute::invalidateDerived(bool recursive)
{
    if (isDerived())
    {
        const std::lock_guard lock(cacheMutex());
        derivedStale_ = true;
    }
    if (recursive)
        for (Attribute* child : getChildAttributes())
            child->invalidateDerived(true);
}

void Attribute::ensureComputed() const
{
    const std::lock_guard lock(cacheMutex());
    if (!derivedStale_ || computing_)
        return;
    // The function reads other attributes, which may lead back here: computing_ stops the loop.
    struct Guard
    {
        bool& flag;
        explicit Guard(bool& f) : flag(f) { flag = true; }
        ~Guard() { flag = false; }
    } guard(computing_);
    derivedStale_ = false;
    if (const DerivedFunctions::Function* function = DerivedFunctions::find(definition_->derivedFunction))
        (*function)(const_cast<Attribute&>(*this));
}

std::string Attribute::getConfluxLabel(const Entity*) const
{
    return definition_->exchange.label.empty() ? getTypeRef().getLabel() : definition_->exchange.label;
}

bool Attribute::isConfluxHiddenOrInHiddenComposite(const Entity* relativeTo) const
{
    for (const Attribute* a = this; a; a = a->parent_)
    {
        if (a->isConfluxHidden())
            return true;
        if (a->isEntity() && (relativeTo == nullptr || a == relativeTo))
            return false;
    }
    return false;
}

const Rule* Attribute::getConfluxReadOnlyRule(bool evaluate) const
{
    if (!definition_->exchange.readOnlyRule)
        return nullptr;
    const std::lock_guard lock(cacheMutex());
    std::unique_ptr<Rule>& rule = ruleCache().confluxReadOnlyRule;
    if (!rule)
    {
        rule = std::make_unique<Rule>(*definition_->exchange.readOnlyRule);
        rule->evaluate(*this);
    }
    else if (evaluate)
        rule->evaluate(*this);
    return rule.get();
}

AttributeDefinition& Attribute::editableDefinition()
{
    if (!ownsDefinition_)
    {
        definition_ = std::make_shared<AttributeDefinition>(*definition_);
        ownsDefinition_ = true;
    }
    // The copy was made as a mutable object above, so writing through it is sound.
    return const_cast<AttributeDefinition&>(*definition_);
}

void Attribute::resetType(const std::string& label)
{
    TypeRef type(label);
    editableDefinition().name = type;
    name_ = type;
}

void Attribute::acceptChildren(AttributeVisitor& visitor)
{
    for (Attribute* child : getChildAttributes())
        child->accept(visitor);
}

void Attribute::valueChanged()
{
    clearAttributeCacheGeneration();
}
} // namespace EntityModel
