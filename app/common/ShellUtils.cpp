#include "app/common/ShellUtils.h"

#include "platform/Registry.h"
#include "platform/Shell.h"

std::string GetSpecialFolderPath(int FolderId) {
    return SpecialFolderPath(FolderId);
}

bool GetOpenCommand(const std::string& FileName) {
    const std::size_t slash = FileName.rfind('/');
    const std::size_t dot = FileName.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        TRegistry reg(TRegRoot::ClassesRoot);
        const std::string extension = FileName.substr(dot);
        if (IsValidKeyName(extension) && reg.OpenKeyReadOnly('\\' + extension)) {
            std::string type;
            try {
                type = reg.ReadString("");
            } catch (const ERegistryException&) {
                // Not a text: no type.
            }
            if (!type.empty() && IsValidKeyName(type) && reg.KeyExists('\\' + type + "\\Shell\\Open"))
                return true;
        }
    }
    return HasDefaultApplication(FileName);
}
