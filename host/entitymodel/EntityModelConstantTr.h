#pragma once
#include <QString>

namespace EntityModel
{
/// The translation function of the entity model's texts (context "EntityModelConstant").
class EntityModelConstantTr
{
public:
    static QString tr(const char* sourceText, const char* disambiguation = nullptr, int n = -1);
};
} // namespace EntityModel
