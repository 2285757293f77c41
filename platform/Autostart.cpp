#include "platform/Autostart.h"

#include "platform/FileReplace.h"
#include "platform/XdgFolders.h"

#include <cstdlib>
#include <string_view>
#include <unistd.h>

namespace {

std::string AutostartFolder() {
    return XdgConfigHome() + "/autostart";
}

bool HasControlCharacter(const std::string& Text) {
    for (const char c : Text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    }
    return false;
}

// A name that is one file name, and can stand in the entry's Name key.
bool IsPlainFileName(const std::string& Name) {
    return !Name.empty() && Name != "." && Name != ".." && Name.find('/') == std::string::npos &&
           !HasControlCharacter(Name);
}

// One argument of the Exec key: quoted when it holds a reserved character, with '"', '`', '$'
// and '\' escaped inside the quotes; '%' doubled (a single one starts a field code).
std::string ExecArgument(const std::string& Arg) {
    constexpr std::string_view Reserved = " \t\"'\\><~|&;$*?#()`";
    const bool quote = Arg.empty() || Arg.find_first_of(Reserved) != std::string::npos;
    std::string out = quote ? "\"" : "";
    for (const char c : Arg) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out += '\\';
        out += c;
        if (c == '%') out += '%';
    }
    return quote ? out + '"' : out;
}

} // namespace

std::string AutostartFileName(const std::string& Name) {
    return AutostartFolder() + '/' + Name + ".desktop";
}

std::string AutostartExecLine(const std::vector<std::string>& Argv) {
    std::string line;
    for (const std::string& arg : Argv) {
        if (HasControlCharacter(arg)) return {};
        line += (line.empty() ? "" : " ") + ExecArgument(arg);
    }
    // The key's value is a string, whose own escape doubles every backslash.
    std::string value;
    for (const char c : line) {
        value += c;
        if (c == '\\') value += '\\';
    }
    return value;
}

bool WriteAutostartEntry(const std::string& Name, const std::vector<std::string>& Argv) {
    const std::string exec = AutostartExecLine(Argv);
    if (!IsPlainFileName(Name) || exec.empty()) return false;
    if (!MakeFolders(AutostartFolder(), 0755)) return false;
    return ReplaceFile(AutostartFileName(Name),
                       "[Desktop Entry]\nType=Application\nName=" + Name + "\nExec=" + exec + '\n', 0644);
}

bool RemoveAutostartEntry(const std::string& Name) {
    return IsPlainFileName(Name) && ::unlink(AutostartFileName(Name).c_str()) == 0;
}
