// The archive list of the main window for archives that real tools make during the test (and
// lha archives of the sample corpus): every entry's name, sizes, method, CRC and date, read
// from the list by its object name, equal what the tool itself lists.
#include "MainWindowFixture.h"

#include <QDateTime>
#include <QTreeView>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

using namespace testsupport;

namespace {

struct TToolRow {
    std::string Path; // folders and name, '/' between them
    std::int64_t Size = 0;
    std::int64_t Packed = -1; // -1: the tool's figure counts more than the entry's data
    std::string Method;       // as the list names it
    std::int64_t Crc = -1;    // -1: not shown
    int Year = -1, Month = 0, Day = 0, Hour = -1, Minute = -1;
};

using TParser = std::vector<TToolRow> (*)(const std::string&);

int MonthOf(const std::string& Name) {
    static const std::map<std::string, int> months = {{"Jan", 1}, {"Feb", 2},  {"Mar", 3},  {"Apr", 4},
                                                      {"May", 5}, {"Jun", 6},  {"Jul", 7},  {"Aug", 8},
                                                      {"Sep", 9}, {"Oct", 10}, {"Nov", 11}, {"Dec", 12}};
    const auto it = months.find(Name);
    return it == months.end() ? 0 : it->second;
}

// "HH:MM" (this year's dates) or "YYYY" (older ones), as ls-like listings show them.
void SetYearOrTime(TToolRow& Row, const std::string& Text) {
    if (Text.find(':') != std::string::npos) {
        Row.Hour = std::stoi(Text.substr(0, 2));
        Row.Minute = std::stoi(Text.substr(3, 2));
    } else {
        Row.Year = std::stoi(Text);
    }
}

template <typename F>
std::vector<TToolRow> EachLine(const std::string& Out, const std::regex& Pattern, F Make) {
    std::vector<TToolRow> rows;
    std::istringstream in(Out);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_match(line, m, Pattern)) rows.push_back(Make(m));
    }
    return rows;
}

// unzip -Z -l -T: mode, version, system, size, type, packed, method, yyyymmdd.hhmmss, name.
std::vector<TToolRow> ParseZipinfo(const std::string& Out) {
    static const std::map<std::string, std::string> methods = {{"stor", "Stored"},
                                                               {"defN", "DeflateN"},
                                                               {"defX", "DeflateX"},
                                                               {"defF", "DeflateF"},
                                                               {"defS", "DeflateS"}};
    static const std::regex row(
        R"(^[-d]\S{9}\s+\S+\s+\S+\s+(\d+)\s+\S\S\s+(\d+)\s+(\S+)\s+(\d{4})(\d\d)(\d\d)\.(\d\d)(\d\d)\d\d\s(.+[^/])$)");
    return EachLine(Out, row, [](const std::smatch& m) {
        TToolRow r;
        r.Size = std::stoll(m[1]);
        r.Packed = std::stoll(m[2]);
        r.Method = methods.count(m[3]) ? methods.at(m[3]) : std::string(m[3]);
        r.Year = std::stoi(m[4]);
        r.Month = std::stoi(m[5]);
        r.Day = std::stoi(m[6]);
        r.Hour = std::stoi(m[7]);
        r.Minute = std::stoi(m[8]);
        r.Path = m[9];
        return r;
    });
}

// arj v: "001) name" and below it rev, host, size, packed, ratio, yy-mm-dd hh:mm:ss, ..., method.
std::vector<TToolRow> ParseArjV(const std::string& Out) {
    static const char* const methods[] = {"Stored", "Most", "2nd Most", "2nd Fast"};
    static const std::regex head(R"(^\d{3}\) (.+)$)");
    static const std::regex body(
        R"(^\s*\d+\s+\S+\s+(\d+)\s+(\d+)\s+\S+\s+(\d\d)-(\d\d)-(\d\d) (\d\d):(\d\d):\d\d\s.*?([0-3])\s*$)");
    std::vector<TToolRow> rows;
    std::istringstream in(Out);
    std::string name;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_match(line, m, head)) {
            name = m[1];
        } else if (!name.empty() && std::regex_match(line, m, body)) {
            TToolRow r;
            r.Path = name;
            r.Size = std::stoll(m[1]);
            r.Packed = std::stoll(m[2]);
            r.Year = 2000 + std::stoi(m[3]);
            r.Month = std::stoi(m[4]);
            r.Day = std::stoi(m[5]);
            r.Hour = std::stoi(m[6]);
            r.Minute = std::stoi(m[7]);
            r.Method = methods[std::stoi(m[8])];
            rows.push_back(r);
            name.clear();
        }
    }
    return rows;
}

// lhasa v: [system] or mode, packed, size, ratio, -method-, crc16, stamp, name.
std::vector<TToolRow> ParseLhasaV(const std::string& Out) {
    static const std::map<std::string, std::string> methods = {
        {"lh0", "Stored"}, {"lh5", "Frozen-5"}, {"lh6", "Frozen-6"}, {"lh7", "Frozen-7"}};
    static const std::regex row(
        R"(^\S.*?\s(\d+)\s+(\d+)\s+\S+%\s+-(\w+)-\s+([0-9a-f]{4})\s+(\w{3})\s+(\d+)\s+(\d{4}|\d\d:\d\d)\s(.+)$)");
    return EachLine(Out, row, [](const std::smatch& m) {
        TToolRow r;
        r.Packed = std::stoll(m[1]);
        r.Size = std::stoll(m[2]);
        r.Method = methods.count(m[3]) ? methods.at(m[3]) : std::string(m[3]);
        r.Crc = std::stoll(m[4], nullptr, 16);
        r.Month = MonthOf(m[5]);
        r.Day = std::stoi(m[6]);
        SetYearOrTime(r, m[7]);
        r.Path = m[8];
        return r;
    });
}

// bsdtar -tv: mode, links, owner, group, size, month, day, time or year, name.
std::vector<TToolRow> ParseBsdtarTv(const std::string& Out) {
    static const std::regex row(
        R"(^-\S{9}\s+\d+\s+\S+\s+\S+\s+(\d+)\s+(\w{3})\s+(\d+)\s+(\d{4}|\d\d:\d\d)\s(.+)$)");
    return EachLine(Out, row, [](const std::smatch& m) {
        TToolRow r;
        r.Size = std::stoll(m[1]);
        r.Packed = r.Size;
        r.Method = "Tarred";
        r.Month = MonthOf(m[2]);
        r.Day = std::stoi(m[3]);
        SetYearOrTime(r, m[4]);
        r.Path = m[5];
        return r;
    });
}

// gzip -lvN: method, crc, month, day, time, compressed (with the headers), size, ratio, name.
std::vector<TToolRow> ParseGzipLv(const std::string& Out) {
    static const std::regex row(
        R"(^(\w+)\s+([0-9a-f]{8})\s+(\w{3})\s+(\d+)\s+(\d\d):(\d\d)\s+\d+\s+(\d+)\s+\S+%\s+(.+)$)");
    return EachLine(Out, row, [](const std::smatch& m) {
        TToolRow r;
        r.Method = m[1] == "defla" ? "Deflate" : std::string(m[1]);
        r.Crc = std::stoll(m[2], nullptr, 16);
        r.Month = MonthOf(m[3]);
        r.Day = std::stoi(m[4]);
        r.Hour = std::stoi(m[5]);
        r.Minute = std::stoi(m[6]);
        r.Size = std::stoll(m[7]);
        // The name gzip would extract to, in the archive's folder: the stored name is its last part.
        const std::string path = m[8];
        r.Path = path.substr(path.rfind('/') + 1);
        return r;
    });
}

struct TCase {
    const char* Tool;
    // Makes the archive from the files in Dir (or names a corpus file) and returns its path.
    std::string (*Make)(const fs::path& Dir);
    std::vector<std::string> Lister; // the tool's listing command; the archive is appended
    TParser Parse;
    bool IgnoreCase; // the tool shows DOS names in lower case
};

void PrintTo(const TCase& Case, std::ostream* Out) {
    *Out << Case.Tool;
}

void Must(const ToolResult& Result, const std::string& What) {
    ASSERT_EQ(Result.ExitCode, 0) << What << ": " << Result.Err << Result.Out;
}

std::string MakeZip(const fs::path& Dir) {
    Must(RunTool({"zip", "-q", "-X", "-r", "t.zip", "small.txt", "docs", "empty.dat"}, Dir), "zip");
    Must(RunTool({"zip", "-q", "-X", "-0", "t.zip", "stored.bin"}, Dir), "zip -0");
    return (Dir / "t.zip").string();
}

std::string MakeArj(const fs::path& Dir) {
    Must(RunTool({"arj", "a", "-y", "-m1", "t.arj", "small.txt", "docs/text.txt", "docs/deep/more.txt"}, Dir),
         "arj");
    Must(RunTool({"arj", "a", "-y", "-m0", "t.arj", "stored.bin"}, Dir), "arj -m0");
    return (Dir / "t.arj").string();
}

std::string MakeTar(const fs::path& Dir) {
    Must(RunTool({"bsdtar", "-cf", "t.tar", "small.txt", "docs", "stored.bin", "empty.dat"}, Dir), "bsdtar");
    return (Dir / "t.tar").string();
}

std::string MakeGzip(const fs::path& Dir) {
    Must(RunTool({"gzip", "-k", "-N", "docs/text.txt"}, Dir), "gzip");
    return (Dir / "docs/text.txt.gz").string();
}

std::string CorpusLha(const char* Name) {
    return (CorpusDir() / "lhasa" / Name).string();
}

const TCase Cases[] = {
    {"zip", MakeZip, {"unzip", "-Z", "-l", "-T"}, ParseZipinfo, false},
    {"arj", MakeArj, {"arj", "v"}, ParseArjV, false},
    {"bsdtar", MakeTar, {"bsdtar", "-tvf"}, ParseBsdtarTv, false},
    {"gzip", MakeGzip, {"gzip", "-lvN"}, ParseGzipLv, false},
    {"lha 2.13 -lh5-",
     [](const fs::path&) { return CorpusLha("lha213/lh5.lzh"); },
     {"lhasa", "v"},
     ParseLhasaV,
     true},
    {"lha 2.13 folders",
     [](const fs::path&) { return CorpusLha("lha213/subdir.lzh"); },
     {"lhasa", "v"},
     ParseLhasaV,
     true},
    {"lha 2.55e -lh0-",
     [](const fs::path&) { return CorpusLha("lha255e/lh0.lzh"); },
     {"lhasa", "v"},
     ParseLhasaV,
     true},
};

// Files with even-second times, so that DOS times and the tools' times agree to the minute.
void MakeTree(const fs::path& Dir) {
    fs::create_directories(Dir / "docs/deep");
    WriteFile(Dir / "small.txt", "hello\n");
    WriteFile(Dir / "docs/text.txt", TextBytes(20000, 3));
    WriteFile(Dir / "docs/deep/more.txt", TextBytes(7000, 4));
    WriteFile(Dir / "stored.bin", RandomBytes(3000, 5));
    WriteFile(Dir / "empty.dat", "");
    for (const char* name : {"small.txt", "docs/text.txt", "docs/deep/more.txt", "stored.bin", "empty.dat"})
        ASSERT_EQ(RunTool({"touch", "-d", "2024-03-05 10:20:30", (Dir / name).string()}).ExitCode, 0);
}

class ArchiveListTools : public MainWindowTest, public ::testing::WithParamInterface<TCase> {};

TEST_P(ArchiveListTools, ListEqualsTheToolsListing) {
    const TCase& c = GetParam();
    TempDir work;
    MakeTree(work.Path());
    const std::string archive = c.Make(work.Path());
    std::vector<std::string> argv = c.Lister;
    argv.push_back(archive);
    const ToolResult listed = RunTool(argv, work.Path());
    ASSERT_EQ(listed.ExitCode, 0) << listed.Err;
    const std::vector<TToolRow> expected = c.Parse(listed.Out);
    ASSERT_FALSE(expected.empty()) << "nothing read from " << c.Tool << ":\n" << listed.Out;

    ShowAllColumns();
    Open({QString::fromStdString(archive)});
    ASSERT_EQ(Rows(), static_cast<int>(expected.size())) << listed.Out;
    for (const TToolRow& want : expected) {
        int row = -1;
        for (int r = 0; r < Rows(); ++r) {
            const QString path = Cell(r, "Folder") + Cell(r, "File Name");
            if (c.IgnoreCase ? path.compare(QString::fromStdString(want.Path), Qt::CaseInsensitive) == 0
                             : path == QString::fromStdString(want.Path))
                row = r;
        }
        ASSERT_GE(row, 0) << c.Tool << " lists " << want.Path << ", the window does not";
        SCOPED_TRACE(std::string(c.Tool) + ": " + want.Path);
        EXPECT_EQ(Raw(row, "Unpacked").toLongLong(), want.Size);
        EXPECT_EQ(Cell(row, "Unpacked"), QString::number(want.Size));
        if (want.Packed >= 0) {
            EXPECT_EQ(Raw(row, "Packed").toLongLong(), want.Packed);
        }
        EXPECT_EQ(Cell(row, "Method").toStdString(), want.Method);
        if (want.Crc >= 0) {
            EXPECT_EQ(Raw(row, "CRC").toLongLong(), want.Crc);
        }
        const QDateTime date = Raw(row, "Date").toDateTime();
        if (want.Year >= 0) {
            EXPECT_EQ(date.date().year(), want.Year);
        }
        EXPECT_EQ(date.date().month(), want.Month);
        EXPECT_EQ(date.date().day(), want.Day);
        if (want.Hour >= 0) {
            EXPECT_EQ(date.time().hour(), want.Hour);
        }
        if (want.Minute >= 0) {
            EXPECT_EQ(date.time().minute(), want.Minute);
        }
    }
    EXPECT_EQ(FPrompter.Prompter().Prompts.size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Tools, ArchiveListTools, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<TCase>& Info) {
                             std::string name = Info.param.Tool;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

} // namespace
