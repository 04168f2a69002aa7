#pragma once
#include "host/entitymodel/Entity.h"
#include "host/entitymodel/Schema.h"

#include <memory>
#include <string>

namespace EntityModel
{
/// Makes entities and attributes from their schema definitions, with default values.
class DataFactory
{
public:
    /// The factory over a schema (the loaded one when null).
    explicit DataFactory(const Schema* schema = nullptr);

    const Schema& getSchema() const;
    /// A detached entity of a type with every attribute at its default and a new ID.
    /// Throws std::runtime_error "Unknown entity type 'X'" for a type the schema lacks.
    std::unique_ptr<Entity> createEntity(TypeRef type, const std::string& name = {}) const;
    /// An entity of a definition that need not be in the schema (tests, options entities).
    static std::unique_ptr<Entity> createEntity(std::shared_ptr<const EntityDefinition> definition,
                                                const std::string& name = {});
    /// An attribute from its definition (children of composites included), at its default value.
    /// The definition must stay alive as long as the attribute (pass an aliasing shared_ptr).
    static std::unique_ptr<Attribute> createAttribute(std::shared_ptr<const AttributeDefinition> definition);

private:
    const Schema* schema_;
};
} // namespace EntityModel
