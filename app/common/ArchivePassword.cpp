#include "app/common/ArchivePassword.h"

QString& CurrentArchivePassword() {
    static QString password;
    return password;
}
