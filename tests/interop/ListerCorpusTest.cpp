// The lister against the sample corpus: every entry that MANIFEST.tsv records for an archive
// is listed with the same name, size and CRC. Entries the lister deliberately shows in
// another way are named, with the reason, in data/lister_corpus_exceptions.tsv.
#include "ListerSupport.h"
#include "TestSupport.h"

#include "platform/CodePages.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

using namespace testsupport;

namespace {

struct TManifestRow {
    std::string Format, Entry, Size, Crc, Tool, Notes;
};

std::vector<std::string> SplitTabs(const std::string& Line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(Line);
    while (std::getline(in, field, '\t'))
        fields.push_back(field);
    return fields;
}

// The manifest's \xNN escapes back to bytes.
std::string Unescape(const std::string& Text) {
    std::string out;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '\\' && i + 3 < Text.size() && Text[i + 1] == 'x' && std::isxdigit(Text[i + 2]) &&
            std::isxdigit(Text[i + 3])) {
            out += static_cast<char>(std::stoi(Text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += Text[i];
        }
    }
    return out;
}

// A name as the lister shows it: UTF-8 (bytes that are not, read in the OEM code page),
// '/' between folders, no leading separator.
std::string Normalized(std::string Name, bool Lha) {
    if (Lha)
        for (char& c : Name)
            if (static_cast<unsigned char>(c) == 0xFF) c = '/';
    if (!IsValidUtf8(Name)) Name = CodePageToUtf8(Name, TCodePage::Oem);
    std::replace(Name.begin(), Name.end(), '\\', '/');
    Name.erase(0, Name.find_first_not_of('/'));
    std::string out;
    for (char c : Name)
        if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
    return out;
}

std::string Lower(std::string Text) {
    for (char& c : Text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return Text;
}

struct TException {
    std::string What, Reason;
};

// archive -> entry ("*" for all) -> what is not compared and why.
std::map<std::string, std::map<std::string, TException>> LoadExceptions() {
    std::map<std::string, std::map<std::string, TException>> result;
    std::ifstream in(std::filesystem::path(QUILLAR_CORPUS_DIR).parent_path() / "interop" / "data" /
                     "lister_corpus_exceptions.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const auto f = SplitTabs(line);
        if (f.size() >= 4) result[f[0]][f[1]] = {f[2], f[3]};
    }
    return result;
}

const TException* ExceptionFor(const std::map<std::string, std::map<std::string, TException>>& All,
                               const std::string& Archive, const std::string& Entry) {
    const auto a = All.find(Archive);
    if (a == All.end()) return nullptr;
    auto e = a->second.find(Entry);
    if (e == a->second.end()) e = a->second.find("*");
    return e == a->second.end() ? nullptr : &e->second;
}

} // namespace

TEST(ListerCorpus, EveryManifestEntryIsListedAsTheToolsShowIt) {
    std::ifstream manifest(CorpusDir() / "MANIFEST.tsv");
    ASSERT_TRUE(manifest) << "no MANIFEST.tsv in " << CorpusDir();
    std::map<std::string, std::vector<TManifestRow>> archives;
    std::string line;
    std::getline(manifest, line);
    while (std::getline(manifest, line)) {
        const auto f = SplitTabs(line);
        if (f.size() < 8) continue;
        archives[f[0]].push_back({f[1], f[2], f[3], f[4], f[7], f.size() > 8 ? f[8] : ""});
    }
    const auto exceptions = LoadExceptions();
    int compared = 0;
    for (const auto& [archive, rows] : archives) {
        const TException* whole = ExceptionFor(exceptions, archive, "*");
        if (whole && whole->What == "skip") continue;
        const TListing listing = ListArchive((CorpusDir() / archive).string());
        const bool lha = rows.front().Format.rfind("lzh", 0) == 0;
        for (const TManifestRow& row : rows) {
            if (row.Entry == "-") continue;
            const TException* ex = ExceptionFor(exceptions, archive, row.Entry);
            if (ex && ex->What == "skip") continue;
            const std::string want = Normalized(Unescape(row.Entry), lha);
            const TListedEntry* got = nullptr;
            for (const TListedEntry& e : listing.Entries) {
                const std::string name = Normalized(e.Name, false);
                if (name == want || (lha && Lower(name) == Lower(want))) got = &e;
            }
            if (!got) {
                ADD_FAILURE() << archive << ": entry '" << row.Entry << "' that " << row.Tool
                              << " lists is missing; " << listing.Describe();
                continue;
            }
            ++compared;
            if (!(ex && ex->What == "size")) {
                EXPECT_EQ(std::to_string(got->Unpacked), row.Size)
                    << archive << ": size of '" << row.Entry << "' differs from " << row.Tool;
            }
            std::string crc = row.Crc;
            const std::size_t crc16 = row.Notes.find("crc16=");
            if (crc == "-" && crc16 != std::string::npos) crc = "0000" + row.Notes.substr(crc16 + 6, 4);
            if (crc != "-" && !(ex && ex->What == "crc")) {
                char mine[16];
                std::snprintf(mine, sizeof mine, "%08x", got->Crc);
                EXPECT_EQ(mine, crc) << archive << ": CRC of '" << row.Entry << "' differs from " << row.Tool;
            }
        }
    }
    EXPECT_GT(compared, 500);
}
