#include "app/common/ShellExtensionKeys.h"

#include "platform/Registry.h"

namespace {

// Sets the default value (and any further values) of Key, creating it.
bool WriteKey(TRegRoot Root, const std::string& Key, std::vector<TRegValue> Values) {
    TRegistry reg(Root);
    if (!reg.OpenKey(Key, true)) return false;
    try {
        reg.WriteValues(Values);
        return true;
    } catch (const ERegistryException&) {
        return false;
    }
}

TRegValue Text(const std::string& Name, const std::string& Value) {
    return TRegValue{Name, rdString, Value, 0};
}

} // namespace

bool RegisterShellExtClass(const TShellExtClass& Class, const std::string& ProgramFolder) {
    const std::string key = std::string("\\CLSID\\") + Class.ClassId;
    return WriteKey(TRegRoot::ClassesRoot, key, {Text("", Class.Description)}) &&
           WriteKey(TRegRoot::ClassesRoot, key + "\\InprocServer32",
                    {Text("", ProgramFolder + Class.Library), Text("ThreadingModel", "Apartment")}) &&
           WriteKey(TRegRoot::ClassesRoot, key + "\\ProgID", {Text("", Class.ProgId)});
}

bool RegisterDragDropMenu(const std::string& ProgramFolder) {
    bool ok = true;
    for (const char* owner : {"\\Directory", "\\Drive"}) {
        ok = WriteKey(TRegRoot::ClassesRoot, std::string(owner) + "\\shellex\\DragDropHandlers\\Quillar",
                      {Text("", DragDropMenuClass.ClassId)}) &&
             ok;
    }
    return RegisterShellExtClass(DragDropMenuClass, ProgramFolder) && ok;
}

bool WriteApprovedEntry(const TShellExtClass& Class) {
    return WriteKey(TRegRoot::CurrentUser, std::string(ApprovedKey) + '\\' + Class.ClassId,
                    {Text("", Class.ApprovedText)});
}
