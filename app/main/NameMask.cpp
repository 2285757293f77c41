#include "app/main/NameMask.h"

#include "app/common/WildcardMatch.h"

bool MatchNameMask(const QString& Name, const QString& Mask) {
    const QString name = Name.toUpper(), mask = Mask.toUpper();
    return name == mask || MatchWildcard(name.toStdString(), mask.toStdString());
}
