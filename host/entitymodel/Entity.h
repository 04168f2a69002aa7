#pragma once
#include "host/entitymodel/CompositeAttribute.h"

#include <memory>
#include <string>
#include <utility>

namespace EntityModel
{
class LinkAttribute;

/// The identity of an entity: the project file it was made in and its serial number there.
struct ID
{
    int fileId = 0;
    int serial = 0;

    std::pair<int, int> toPair() const { return {fileId, serial}; }
    bool isNull() const { return fileId == 0 && serial == 0; }
    std::string toString() const;
    friend auto operator<=>(const ID&, const ID&) = default;
};

/// An entity: a named, identified composite of a schema entity type. It is either held by a link
/// (an owning link, list or array attribute of another entity), the root of a project, or detached.
class Entity : public CompositeAttribute
{
public:
    /// An entity of a type with no attributes yet (DataFactory fills them from the schema).
    Entity(std::shared_ptr<const EntityDefinition> definition, std::string name, ID id);
    ~Entity() override;

    bool isEntity() const override { return true; }
    void accept(AttributeVisitor& visitor) override;
    TypeRef getTypeRef() const override { return entityDefinition_->type; }
    Type getType() const override { return Type(entityDefinition_->type); }
    std::string getDisplayName() const override { return getName(); }
    std::string getConfluxLabel(const Entity* relativeTo) const override;
    const EntityDefinition& getEntityDefinition() const { return *entityDefinition_; }

    const std::string& getName() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    /// The names from the topmost owning entity below the project down to this one, joined by "/"
    /// ("Room 1/Rack 3/Server 2"); unnamed entities show their type label.
    std::string getFullDisplayName() const;
    const ID& getID() const { return id_; }
    void setID(ID id) { id_ = id; }

    /// The link, list or array attribute that owns this entity, or null.
    LinkAttribute* getOwnerLink() const { return ownerLink_; }
    /// The project-root predicate: an entity of type Project.
    virtual bool isProject() const;
    /// The topmost entity above (itself when it has no owner).
    Entity* getRootEntity();

    /// Non-owning links that refer to this entity (kept so deletion can unlink it).
    const std::vector<LinkAttribute*>& getReferringLinks() const { return referringLinks_; }

    /// Forgets the outcomes of hidden and read-only rules of every attribute (they are recomputed).
    void clearRuleCaches();

private:
    friend class LinkAttribute;
    std::shared_ptr<const EntityDefinition> entityDefinition_;
    std::string name_;
    ID id_;
    LinkAttribute* ownerLink_ = nullptr;
    std::vector<LinkAttribute*> referringLinks_;
};

/// A new entity serial number, unique in this process (project files set their own IDs).
int nextEntitySerial();
/// Makes sure later serials come after one read from a file.
void reserveEntitySerial(int serial);
} // namespace EntityModel
