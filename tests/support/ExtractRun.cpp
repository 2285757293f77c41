#include "ExtractRun.h"
#include "ThreadsFromEnvironment.h"

#include "TestSupport.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/read/krvReaders.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <sys/stat.h>
#include <sys/xattr.h>

namespace testsupport {

bool ExtractResult::HasError(int Code) const {
    return CountOf(Code) > 0;
}

int ExtractResult::CountOf(int Code) const {
    return static_cast<int>(
        std::count_if(Errors.begin(), Errors.end(), [&](const auto& e) { return e.second == Code; }));
}

bool ExtractResult::AllPassed() const {
    return ReaderFound && Errors.empty() && FilesFailed == 0 &&
           std::all_of(Ends.begin(), Ends.end(), [](const auto& e) { return e.second; });
}

bool ExtractResult::EntriesPassedWithoutDirectory() const {
    return ReaderFound && Errors.size() == 1 && Errors[0].second == ecHeaderNotFound && FilesFailed == 0 &&
           std::all_of(Ends.begin(), Ends.end(), [](const auto& e) { return e.second; });
}

std::string ExtractResult::Describe() const {
    std::ostringstream out;
    out << "returned " << Returned << ", failed " << FilesFailed << "\n";
    for (const auto& [name, code] : Errors)
        out << "  error " << code << " (" << ErrorText(code) << ") " << name << "\n";
    for (const auto& [name, passed] : Ends)
        out << "  end " << (passed ? "OK " : "FAILED ") << name << "\n";
    return out.str();
}

ExtractResult ExtractAll(const std::filesystem::path& Archive, const std::filesystem::path& Dest,
                         const std::function<void(TUnBase&)>& Setup) {
    ExtractResult result;
    TRegisterKorva detector;
    detector.SetArchiveFile(Archive.string());
    std::unique_ptr<TUnBase> reader = CreateReader(detector.ArcType());
    if (!reader) return result;
    result.ReaderFound = true;
    reader->SetArchiveFile(Archive.string());
    reader->SetExtractDir(Dest.string());
    reader->FileSpec = {"*"};
    reader->CreateStoredDirs = true;
    reader->Threads = ThreadsFromEnvironment();
    reader->OnGetPassword = [](TZipCommon&, const std::string&, std::string&, bool& TryAgain) {
        TryAgain = false;
    };
    const std::string root = reader->ExtractDir();
    reader->OnError = [&](TZipCommon&, const std::string& Name, const std::string&, const std::string&,
                          int Code) { result.Errors.emplace_back(Name, Code); };
    reader->OnEnd = [&](TZipCommon&, const std::string& Name, bool Passed) {
        result.Ends.emplace_back(Name.compare(0, root.size(), root) == 0 ? Name.substr(root.size()) : Name,
                                 Passed);
    };
    if (Setup) Setup(*reader);
    result.Returned = reader->Extract();
    result.FilesFailed = reader->FilesFailed;
    return result;
}

std::map<std::string, std::string> ReadTree(const std::filesystem::path& Root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> tree;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(Root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string name = fs::relative(it->path(), Root).generic_string();
        if (it->is_symlink())
            tree[name] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            tree[name + "/"] = "";
        else
            tree[name] = ReadFile(it->path());
    }
    return tree;
}

std::map<std::string, std::string> ReadStamps(const std::filesystem::path& Root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> stamps;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(Root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        struct stat st {};
        if (it->is_symlink() || it->is_directory() || ::stat(it->path().c_str(), &st) != 0) continue;
        char text[48];
        std::snprintf(text, sizeof text, "%o %lld", static_cast<unsigned>(st.st_mode & 07777),
                      static_cast<long long>(st.st_mtime));
        stamps[fs::relative(it->path(), Root).generic_string()] = text;
    }
    return stamps;
}

std::string CompareTrees(const std::map<std::string, std::string>& Expected, const std::string& ExpectedName,
                         const std::map<std::string, std::string>& Actual, const std::string& ActualName) {
    std::ostringstream out;
    for (const auto& [name, data] : Expected) {
        const auto it = Actual.find(name);
        if (it == Actual.end())
            out << name << ": written by " << ExpectedName << ", missing from " << ActualName << "\n";
        else if (it->second != data)
            out << name << ": " << ActualName << " wrote " << it->second.size() << " bytes that differ from "
                << ExpectedName << "'s " << data.size() << "\n";
    }
    for (const auto& [name, data] : Actual)
        if (!Expected.count(name)) out << name << ": written by " << ActualName << " only\n";
    return out.str();
}

bool SetDefaultAcl(const std::filesystem::path& Folder) {
    std::string acl;
    const auto put32 = [&](std::uint32_t V) {
        for (int i = 0; i < 4; ++i)
            acl += static_cast<char>((V >> (8 * i)) & 0xFF);
    };
    put32(2); // the version
    for (const auto& [tag, perm] : {std::pair{1, 6}, std::pair{4, 4}, std::pair{0x20, 0}}) {
        put32(static_cast<std::uint32_t>(tag) | (static_cast<std::uint32_t>(perm) << 16));
        put32(0xFFFFFFFF);
    }
    return ::setxattr(Folder.c_str(), "system.posix_acl_default", acl.data(), acl.size(), 0) == 0;
}

} // namespace testsupport
