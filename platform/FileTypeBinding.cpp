#include "platform/FileTypeBinding.h"

#include "platform/FileReplace.h"
#include "platform/Process.h"
#include "platform/XdgFolders.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {

struct TExtensionType {
    const char* Extension;
    const char* MimeType;
    // For a type of our own (or a glob shared-mime-info lacks): its description; nullptr when
    // shared-mime-info knows the extension.
    const char* OwnComment;
};

constexpr TExtensionType ExtensionTypes[] = {
    {"ace", "application/x-ace", nullptr},
    {"arc", "application/x-arc", "ARC archive"},
    {"arj", "application/x-arj", nullptr},
    {"bh", "application/x-bh", "BlakHole archive"},
    {"cab", "application/vnd.ms-cab-compressed", nullptr},
    {"enc", "text/x-uuencode", ""}, // uuencoded text, as .uue
    {"gz", "application/gzip", nullptr},
    {"ha", "application/x-ha", "HA archive"},
    {"jar", "application/x-java-archive", nullptr},
    {"lha", "application/x-lha", nullptr},
    {"lzh", "application/x-lha", nullptr},
    {"pak", "application/x-pak", nullptr}, // shared-mime-info's *.pak; ours are arc archives
    {"pk3", "application/x-pk3", "PK3 archive (zip)"},
    {"pk_", "application/x-pk-compressed", "Compressed file (zip)"},
    {"rar", "application/vnd.rar", nullptr},
    {"tar", "application/x-tar", nullptr},
    {"tgz", "application/x-compressed-tar", nullptr},
    {"uu", "text/x-uuencode", ""}, // the type is shared-mime-info's, the glob ours
    {"uue", "text/x-uuencode", nullptr},
    {"xxe", "text/x-xxencode", "XXencoded file"},
    {"z", "application/x-compress", nullptr},
    {"zip", "application/zip", nullptr},
    {"zoo", "application/x-zoo", nullptr},
};

constexpr const char* DefaultGroup = "[Default Applications]";

bool IsGroupHeader(const std::string& Line) {
    const std::size_t first = Line.find_first_not_of(" \t");
    return first != std::string::npos && Line[first] == '[';
}

std::string WithoutLineEnd(const std::string& Line) {
    std::size_t end = Line.size();
    while (end > 0 && (Line[end - 1] == '\n' || Line[end - 1] == '\r'))
        --end;
    return Line.substr(0, end);
}

// The lines of Text, each with its own line end.
std::vector<std::string> SplitLines(const std::string& Text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < Text.size()) {
        const std::size_t end = Text.find('\n', start);
        const std::size_t next = end == std::string::npos ? Text.size() : end + 1;
        lines.push_back(Text.substr(start, next - start));
        start = next;
    }
    return lines;
}

// Where the key's value begins in Line when Line sets Key ("key=value", blanks allowed around
// the '='); npos otherwise.
std::size_t ValueStart(const std::string& Line, const std::string& Key) {
    const std::size_t equals = Line.find('=');
    if (equals == std::string::npos) return std::string::npos;
    std::string key = Line.substr(0, equals);
    key.erase(0, key.find_first_not_of(" \t"));
    key.erase(key.find_last_not_of(" \t") + 1);
    if (key != Key) return std::string::npos;
    const std::size_t value = Line.find_first_not_of(" \t", equals + 1);
    return value == std::string::npos ? Line.size() : value;
}

// The line range [Begin, End) of the default group's keys; Begin = npos when the group is missing.
struct TGroup {
    std::size_t Header = std::string::npos;
    std::size_t End = 0;
};

TGroup FindDefaultGroup(const std::vector<std::string>& Lines) {
    TGroup group;
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        if (group.Header == std::string::npos) {
            if (WithoutLineEnd(Lines[i]) == DefaultGroup) group.Header = i;
        } else if (IsGroupHeader(Lines[i])) {
            group.End = i;
            return group;
        }
    }
    group.End = Lines.size();
    return group;
}

std::size_t FindKey(const std::vector<std::string>& Lines, const TGroup& Group, const std::string& Key) {
    if (Group.Header == std::string::npos) return std::string::npos;
    for (std::size_t i = Group.Header + 1; i < Group.End; ++i) {
        if (ValueStart(WithoutLineEnd(Lines[i]), Key) != std::string::npos) return i;
    }
    return std::string::npos;
}

std::string Join(const std::vector<std::string>& Lines) {
    std::string text;
    for (const std::string& line : Lines)
        text += line;
    return text;
}

bool RunQuietly(const std::vector<std::string>& Argv) {
    pid_t pid = 0;
    if (!SpawnProcess(Argv, {}, pid)) return false;
    return WaitForProcess(pid, 20, [] {}) == 0;
}

std::string ApplicationsFolder() {
    return XdgDataHome() + "/applications";
}

constexpr const char* OwnTypePrefix = "application/x-quillar-";

std::string PackagePath() {
    return XdgDataHome() + "/mime/packages/quillar.xml";
}

// The extensions our package gives types of our own (OwnMimeTypeOf), as installed before.
std::vector<std::string> InstalledOwnExtensions() {
    std::vector<std::string> extensions;
    const auto package = ReadWholeFile(PackagePath());
    if (!package) return extensions;
    const std::string marker = std::string("type=\"") + OwnTypePrefix;
    for (std::size_t at = package->find(marker); at != std::string::npos; at = package->find(marker, at)) {
        at += marker.size();
        const std::size_t end = package->find('"', at);
        if (end == std::string::npos) break;
        const std::string ext = package->substr(at, end - at);
        if (OwnMimeTypeOf(ext) == OwnTypePrefix + ext) extensions.push_back(ext);
    }
    return extensions;
}

} // namespace

std::string MimeTypeOfExtension(const std::string& Ext) {
    for (const TExtensionType& type : ExtensionTypes) {
        if (Ext == type.Extension) return type.MimeType;
    }
    const std::vector<std::string> own = InstalledOwnExtensions();
    return std::find(own.begin(), own.end(), Ext) != own.end() ? OwnMimeTypeOf(Ext) : std::string();
}

std::string OwnMimeTypeOf(const std::string& Ext) {
    const bool plain = !Ext.empty() && std::all_of(Ext.begin(), Ext.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '_' ||
               c == '.';
    });
    return plain ? OwnTypePrefix + Ext : std::string();
}

std::vector<std::string> ProgramMimeTypes() {
    std::vector<std::string> types;
    for (const TExtensionType& type : ExtensionTypes) {
        if (std::find(types.begin(), types.end(), type.MimeType) == types.end())
            types.push_back(type.MimeType);
    }
    return types;
}

bool InstallOwnMimeTypes(const std::vector<std::string>& Extensions) {
    std::vector<std::string> own = InstalledOwnExtensions();
    for (const std::string& ext : Extensions) {
        if (MimeTypeOfExtension(ext).empty() && !OwnMimeTypeOf(ext).empty()) own.push_back(ext);
    }
    std::sort(own.begin(), own.end());
    own.erase(std::unique(own.begin(), own.end()), own.end());
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    const auto add = [&xml](const std::string& Type, const std::string& Comment, const std::string& Ext) {
        xml += "  <mime-type type=\"" + Type + "\">\n";
        if (!Comment.empty()) xml += "    <comment>" + Comment + "</comment>\n";
        xml += "    <glob pattern=\"*." + Ext + "\"/>\n  </mime-type>\n";
    };
    for (const TExtensionType& type : ExtensionTypes) {
        if (type.OwnComment) add(type.MimeType, type.OwnComment, type.Extension);
    }
    for (const std::string& ext : own)
        add(OwnMimeTypeOf(ext), "Archive (*." + ext + ")", ext);
    xml += "</mime-info>\n";
    const std::string mime = XdgDataHome() + "/mime";
    const std::string package = PackagePath();
    const auto old = ReadWholeFile(package);
    if (old && *old == xml && ::access((mime + "/mime.cache").c_str(), F_OK) == 0) return true;
    return MakeFolders(mime + "/packages", 0755) && ReplaceFile(package, xml, 0644) &&
           RunQuietly({"update-mime-database", mime});
}

std::string MimeAppsListPath() {
    return XdgConfigHome() + "/mimeapps.list";
}

std::string DefaultHandlerIn(const std::string& Text, const std::string& MimeType) {
    const std::vector<std::string> lines = SplitLines(Text);
    const std::size_t at = FindKey(lines, FindDefaultGroup(lines), MimeType);
    if (at == std::string::npos) return {};
    const std::string line = WithoutLineEnd(lines[at]);
    return line.substr(ValueStart(line, MimeType));
}

std::string WithDefaultHandler(const std::string& Text, const std::string& MimeType,
                               const std::string& Handler) {
    std::vector<std::string> lines = SplitLines(Text);
    const TGroup group = FindDefaultGroup(lines);
    const std::size_t at = FindKey(lines, group, MimeType);
    if (Handler.empty()) {
        if (at == std::string::npos) return Text;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
        // A group that held nothing but this key goes with it.
        if (group.End - group.Header == 2)
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(group.Header));
        return Join(lines);
    }
    if (at != std::string::npos) {
        const std::string& line = lines[at];
        const std::string bare = WithoutLineEnd(line);
        lines[at] = bare.substr(0, ValueStart(bare, MimeType)) + Handler + line.substr(bare.size());
        return Join(lines);
    }
    const std::string keyLine = MimeType + '=' + Handler + '\n';
    if (group.Header == std::string::npos) {
        std::string text = Text;
        if (!text.empty() && text.back() != '\n') text += '\n';
        return text + DefaultGroup + '\n' + keyLine;
    }
    // After the group's last line that is not blank.
    std::size_t insert = group.End;
    while (insert > group.Header + 1 &&
           WithoutLineEnd(lines[insert - 1]).find_first_not_of(" \t") == std::string::npos)
        --insert;
    std::string& before = lines[insert - 1];
    if (before.empty() || before.back() != '\n') before += '\n';
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert), keyLine);
    return Join(lines);
}

std::string DefaultHandler(const std::string& MimeType) {
    const auto text = ReadWholeFile(MimeAppsListPath());
    return text ? DefaultHandlerIn(*text, MimeType) : std::string();
}

bool SetDefaultHandler(const std::string& MimeType, const std::string& Handler) {
    const std::string path = MimeAppsListPath();
    const auto text = ReadWholeFile(path);
    if (!text) return false; // never replace what could not be read
    const std::string changed = WithDefaultHandler(*text, MimeType, Handler);
    if (changed == *text) return true;
    if (changed.empty()) return ::unlink(path.c_str()) == 0;
    return MakeFolders(XdgConfigHome(), 0700) && ReplaceFile(path, changed, 0644);
}

std::string ExtensionFileType(const std::string& Ext) {
    const std::string mime = MimeTypeOfExtension(Ext);
    if (mime.empty()) return {};
    const std::string handler = DefaultHandler(mime);
    if (handler.substr(0, handler.find(';')) == ProgramDesktopId) return ProgramFileType;
    return handler;
}

bool SetExtensionFileType(const std::string& Ext, const std::string& Type) {
    const std::string mime = MimeTypeOfExtension(Ext);
    if (mime.empty()) return false;
    return SetDefaultHandler(mime, Type == ProgramFileType ? std::string(ProgramDesktopId) : Type);
}

std::string ProgramDesktopFile() {
    return ApplicationsFolder() + '/' + ProgramDesktopId;
}

bool WriteProgramDesktopEntry(const std::string& Name, const std::string& Comment, const std::string& Exec,
                              const std::string& Icon) {
    std::string types;
    for (const std::string& type : ProgramMimeTypes())
        types += type + ';';
    // The menu has the program's own shortcut; this entry only opens files.
    const std::string entry = "[Desktop Entry]\nType=Application\nName=" + Name + "\nComment=" + Comment +
                              "\nExec=" + Exec + "\nIcon=" + Icon + "\nMimeType=" + types +
                              "\nTerminal=false\nNoDisplay=true\n";
    return MakeFolders(ApplicationsFolder(), 0755) && ReplaceFile(ProgramDesktopFile(), entry, 0644);
}

bool RemoveProgramDesktopEntry() {
    return ::unlink(ProgramDesktopFile().c_str()) == 0 || errno == ENOENT;
}

std::string ProgramDesktopExec() {
    const auto text = ReadWholeFile(ProgramDesktopFile());
    if (!text) return {};
    for (const std::string& line : SplitLines(*text)) {
        const std::string bare = WithoutLineEnd(line);
        const std::size_t value = ValueStart(bare, "Exec");
        if (value != std::string::npos) return bare.substr(value);
    }
    return {};
}
