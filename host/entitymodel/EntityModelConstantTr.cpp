#include "host/entitymodel/EntityModelConstantTr.h"

#include <QCoreApplication>

namespace EntityModel
{
QString EntityModelConstantTr::tr(const char* sourceText, const char* disambiguation, int n)
{
    return QCoreApplication::translate("EntityModelConstant", sourceText, disambiguation, n);
}
} // namespace EntityModel
