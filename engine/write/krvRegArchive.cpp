#include "engine/write/krvRegArchive.h"

#include "engine/core/krvGbls.h"
#include "platform/Autostart.h"
#include "platform/FileTypeBinding.h"
#include "platform/Registry.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <unistd.h>

namespace {

constexpr const char* AppnamePlaceholder = "[Appname]";
constexpr const char* AppnameFilePlaceholder = "[Appname file]";

std::string Lower(std::string Text) {
    std::transform(Text.begin(), Text.end(), Text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return Text;
}

// "zip" of ".zip" or ".ZIP".
std::string BareExtension(const std::string& Ext) {
    return Lower(!Ext.empty() && Ext[0] == '.' ? Ext.substr(1) : Ext);
}

bool IsExe(const std::string& Ext) {
    return Lower(Ext) == ".exe";
}

void WriteDefault(const std::string& Key, const std::string& Value) {
    TRegistry reg(TRegRoot::ClassesRoot);
    if (!reg.OpenKey(Key, true)) throw ERegistryException("Failed to create key " + Key);
    reg.WriteString("", Value);
}

} // namespace

TRegArchive::TRegArchive() {
    SetArcExtensions({std::begin(ArchiveExtensions), std::end(ArchiveExtensions)});
}

void TRegArchive::SetArcExtensions(const std::vector<std::string>& Extensions) {
    FArcExtensions.clear();
    for (const std::string& ext : Extensions) {
        if (!IsExe(ext)) FArcExtensions.push_back(ext);
    }
}

std::string TRegArchive::ExtDescription() const {
    return FExtDescription.empty() ? AppnamePlaceholder : FExtDescription;
}

void TRegArchive::SetExtDescription(const std::string& Text) {
    FExtDescription = Text.empty() ? AppnamePlaceholder : Text;
}

std::string TRegArchive::FileDescription() const {
    return FFileDescription.empty() ? AppnameFilePlaceholder : FFileDescription;
}

void TRegArchive::SetFileDescription(const std::string& Text) {
    FFileDescription = Text.empty() ? AppnameFilePlaceholder : Text;
}

std::string TRegArchive::ParamString() const {
    return FParamString.empty() ? "%1" : FParamString;
}

void TRegArchive::SetParamString(const std::string& Text) {
    FParamString = Text.empty() ? "%1" : Text;
}

std::string TRegArchive::ProgramPath() const {
    if (!FProgramPath.empty()) return FProgramPath;
    char path[PATH_MAX];
    const ssize_t size = ::readlink("/proc/self/exe", path, sizeof path);
    return size > 0 ? std::string(path, static_cast<std::size_t>(size)) : std::string();
}

std::string TRegArchive::TypeName() const {
    const std::string described = ExtDescription();
    if (described != AppnamePlaceholder) return described;
    const std::string program = ProgramPath();
    const std::string file = program.substr(program.rfind('/') + 1);
    return file.substr(0, file.find('.'));
}

std::string TRegArchive::TypeDescription() const {
    const std::string described = FileDescription();
    return described == AppnameFilePlaceholder ? TypeName() + " file" : described;
}

void TRegArchive::Loaded() {
    if (!ActivateOnStartup || !OnAssociation || IsAssociated()) return;
    std::string name = TypeName();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    OnAssociation(*this, name);
}

std::string TRegArchive::CommandProgram(const std::string& Command) {
    if (!Command.empty() && Command[0] == '"') {
        const std::size_t close = Command.find('"', 1);
        return Command.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return Command.substr(0, Command.find(' '));
}

bool TRegArchive::IsAssociated() const {
    const std::string program = ProgramPath();
    // The type key is the one RegisterExtensions writes: TypeName(), whatever the desktop's
    // handler calls it.
    const std::string ownType = TypeName();
    for (const std::string& ext : FArcExtensions) {
        const std::string handler = ExtensionFileType(BareExtension(ext));
        const std::string type = handler == ProgramFileType ? ownType : handler;
        // Only this program's type has its command here; another program's handler is no match.
        std::string command;
        TRegistry reg(TRegRoot::ClassesRoot);
        if (!type.empty() && reg.OpenKeyReadOnly('\\' + type + "\\Shell\\Open\\Command"))
            command = reg.ReadString("");
        if (CommandProgram(command) != program) return false;
        if (handler == ProgramFileType && CommandProgram(ProgramDesktopExec()) != program) return false;
    }
    return true;
}

void TRegArchive::RegisterExtensions() {
    const std::string type = TypeName();
    const std::string program = ProgramPath();
    const std::string typeKey = '\\' + type;
    WriteDefault(typeKey, TypeDescription());
    WriteDefault(typeKey + "\\DefaultIcon", program + ',' + std::to_string(IconIndex));
    WriteDefault(typeKey + "\\Shell\\Open\\Command", '"' + program + "\" \"" + ParamString() + '"');
    if (!MenuName.empty()) WriteDefault(typeKey + "\\Shell\\Open", MenuName);

    // The desktop starts the same command through the program's entry; "%1" is its file, the
    // entry's %f (the Exec line doubles a '%' of the argument).
    std::string exec = AutostartExecLine({program, ParamString()});
    if (const std::size_t file = exec.find("%%1"); file != std::string::npos) exec.replace(file, 3, "%f");
    // An extension no MIME type knows gets a type of our own, so that it can be bound too.
    std::vector<std::string> extensions;
    for (const std::string& ext : FArcExtensions)
        extensions.push_back(BareExtension(ext));
    if (!InstallOwnMimeTypes(extensions) ||
        !WriteProgramDesktopEntry(type, TypeDescription(), exec, program.substr(program.rfind('/') + 1)))
        throw ERegistryException("Failed to write the desktop entry " + ProgramDesktopFile());
    for (const std::string& ext : FArcExtensions) {
        // An extension that can have no MIME type (odd characters in it) cannot be bound.
        if (MimeTypeOfExtension(BareExtension(ext)).empty()) continue;
        if (!SetExtensionFileType(BareExtension(ext), ProgramFileType))
            throw ERegistryException("Failed to write " + MimeAppsListPath());
    }
}

bool TRegArchive::UnregisterExtensions() {
    bool ok = true;
    for (const std::string& ext : FArcExtensions) {
        // Another program's handler is not this program's to clear.
        if (ExtensionFileType(BareExtension(ext)) != ProgramFileType) continue;
        ok = SetExtensionFileType(BareExtension(ext), "") && ok;
    }
    return ok;
}
