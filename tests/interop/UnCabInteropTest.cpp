// The cabinet reader against cabinets made by gcab and extracted by cabextract, the LZX and
// Quantum samples of the corpus, cabinet sets (whole, missing a cabinet, entered in the
// middle), damaged cabinets, each file failing as cabextract -t fails it, and MSZIP blocks
// damaged one field at a time.
#include "CorpusManifest.h"
#include "ExtractRun.h"
#include "TestSupport.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/formats/cab/krvUnCab.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

using namespace testsupport;

namespace {

// Files of several kinds, some in folders, as gcab is given them.
std::vector<std::string> WriteSources(const fs::path& Root) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"plain.txt", TextBytes(70000, 1)},
        {"random.bin", RandomBytes(100000, 2)},
        {"empty", ""},
        {"nested/deep/code.c", TextBytes(5000, 3)},
        {"nested/run.bin", TextBytes(200000, 4)}};
    std::vector<std::string> names;
    for (const auto& [name, data] : files) {
        fs::create_directories((Root / name).parent_path());
        WriteFile(Root / name, data);
        names.push_back(name);
    }
    return names;
}

fs::path MakeGcabCabinet(const fs::path& Sources, const fs::path& Cabinet, bool Mszip) {
    std::vector<std::string> argv = {"gcab", "-c"};
    if (Mszip) argv.push_back("-z");
    argv.push_back(Cabinet.string());
    for (const std::string& name : WriteSources(Sources))
        argv.push_back(name);
    const ToolResult made = RunTool(argv, Sources);
    EXPECT_EQ(made.ExitCode, 0) << made.Err;
    return Cabinet;
}

std::string FlipByteAt(const fs::path& File, std::size_t At) {
    std::string data = ReadFile(File);
    data[At] = static_cast<char>(data[At] ^ 0x5A);
    WriteFile(File, data);
    return data;
}

// The split sample set of five cabinets, copied into Dir except the cabinets Leave.
void CopySplitSet(const fs::path& Dir, const std::vector<int>& Leave = {}) {
    for (int i = 1; i <= 5; ++i) {
        if (std::find(Leave.begin(), Leave.end(), i) != Leave.end()) continue;
        const std::string name = "split-" + std::to_string(i) + ".cab";
        fs::copy_file(CorpusDir() / "libmspack/cabextract" / name, Dir / name);
    }
}

// Exactly these names below Root.
void ExpectOnly(const fs::path& Root, const std::set<std::string>& Names) {
    std::set<std::string> found;
    for (const auto& [name, data] : ReadTree(Root))
        found.insert(name);
    EXPECT_EQ(found, Names);
}

// One folder of a cabinet made here: its files (name, content), stored in one data block.
struct TStoredFolder {
    std::vector<std::pair<std::string, std::string>> Files;
};

void Put16(std::string& Out, std::size_t V) {
    Out += static_cast<char>(V & 0xFF);
    Out += static_cast<char>((V >> 8) & 0xFF);
}
void Put32(std::string& Out, std::size_t V) {
    Put16(Out, V & 0xFFFF);
    Put16(Out, (V >> 16) & 0xFFFF);
}

// A cabinet of stored folders, its files listed in the order of FileOrder (indexes into the
// folders' files taken in turn; empty: folder by folder). Reserve adds the optional reserved
// fields to the header, each folder record and each data block. Data blocks carry no checksum.
std::string StoredCabinet(const std::vector<TStoredFolder>& Folders, bool Reserve,
                          const std::vector<std::size_t>& FileOrder = {}) {
    struct TFile {
        std::string Name, Data;
        std::size_t Folder = 0, Offset = 0;
    };
    std::vector<TFile> files;
    for (std::size_t f = 0; f < Folders.size(); ++f) {
        std::size_t offset = 0;
        for (const auto& [name, data] : Folders[f].Files) {
            files.push_back({name, data, f, offset});
            offset += data.size();
        }
    }
    std::vector<TFile> listed = files;
    if (!FileOrder.empty()) {
        listed.clear();
        for (const std::size_t i : FileOrder)
            listed.push_back(files[i]);
    }
    const std::size_t headerReserve = Reserve ? 4 + 6 : 0;
    const std::size_t folderSize = Reserve ? 8 + 3 : 8;
    const std::size_t filesAt = 36 + headerReserve + Folders.size() * folderSize;
    std::size_t dataAt = filesAt;
    for (const TFile& file : listed)
        dataAt += 16 + file.Name.size() + 1;
    std::string folderRecords, fileRecords, data;
    for (const TStoredFolder& folder : Folders) {
        std::string block;
        for (const auto& [name, content] : folder.Files)
            block += content;
        Put32(folderRecords, dataAt + data.size());
        Put16(folderRecords, 1);
        Put16(folderRecords, 0); // stored
        if (Reserve) folderRecords += "fol";
        Put32(data, 0);
        Put16(data, block.size());
        Put16(data, block.size());
        if (Reserve) data += "dr";
        data += block;
    }
    for (const TFile& file : listed) {
        Put32(fileRecords, file.Data.size());
        Put32(fileRecords, file.Offset);
        Put16(fileRecords, file.Folder);
        Put16(fileRecords, (44 << 9) | (6 << 5) | 1);
        Put16(fileRecords, (12 << 11) | (30 << 5));
        Put16(fileRecords, 0x20);
        fileRecords += file.Name + '\0';
    }
    std::string cab = "MSCF";
    Put32(cab, 0);
    Put32(cab, dataAt + data.size());
    Put32(cab, 0);
    Put32(cab, filesAt);
    Put32(cab, 0);
    cab += '\x03';
    cab += '\x01';
    Put16(cab, Folders.size());
    Put16(cab, listed.size());
    Put16(cab, Reserve ? 0x0004 : 0);
    Put16(cab, 0x1234);
    Put16(cab, 0);
    if (Reserve) {
        Put16(cab, 6);
        cab += '\x03';
        cab += '\x02';
        cab += "header";
    }
    return cab + folderRecords + fileRecords + data;
}

// What `cabextract -t` says of each file of Cab: passed or failed.
std::map<std::string, bool> CabextractVerdicts(const fs::path& Cab) {
    const ToolResult t = RunUtf8({"cabextract", "-t", Cab.filename().string()}, Cab.parent_path());
    std::map<std::string, bool> verdicts;
    std::istringstream lines(t.Out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  ", 0) != 0) continue;
        const std::size_t ok = line.find("  OK ");
        const std::size_t failed = line.find("  failed");
        const std::size_t end = std::min(ok, failed);
        if (end == std::string::npos) continue;
        verdicts[line.substr(2, end - 2)] = ok < failed;
    }
    return verdicts;
}

// krvprobe list shows every file that krvprobe extract names and reports the faults (25110)
// that extract reports, once each with the same text; what extract adds of the cabinet
// library's own verdict is left out. (The tester takes no cabinets.)
void ExpectListShowsWhatExtractNames(const fs::path& Cab) {
    TempDir out;
    const ToolResult extracted = RunProbe({"extract", Cab.string(), out.Path().string()});
    const ToolResult listed = RunProbe({"list", Cab.string()});
    std::set<std::string> named, shown;
    std::multiset<std::string> faults, listedFaults;
    const auto fault = [](std::multiset<std::string>& Into, const std::string& Name, std::string Text) {
        Text = Text.substr(
            0, std::min(Text.find("its cabinet cannot be read"), Text.find("the cabinet library")));
        if (Text.ends_with("; ")) Text.resize(Text.size() - 2);
        if (!Text.empty()) Into.insert(fs::path(Name).filename().string() + ": " + Text);
    };
    std::istringstream e(extracted.Out), l(listed.Out), le(listed.Err);
    const std::string bad = "\tERROR 25110 Bad file header: ", listedBad = ": error 25110: Bad file header (";
    for (std::string line; std::getline(e, line);) {
        const std::string name = line.substr(0, line.find('\t'));
        if (!name.ends_with(".cab")) named.insert(fs::path(name).filename().string());
        if (const std::size_t at = line.find(bad); at != std::string::npos)
            fault(faults, name, line.substr(at + bad.size()));
    }
    for (std::string line; std::getline(l, line) && !line.starts_with("TOTAL\t");)
        shown.insert(fs::path(line.substr(0, line.find('\t'))).filename().string());
    for (std::string line; std::getline(le, line);)
        if (const std::size_t at = line.find(listedBad); at != std::string::npos && line.ends_with(")"))
            fault(listedFaults, line.substr(10, at - 10),
                  line.substr(at + listedBad.size(), line.size() - at - listedBad.size() - 1));
    EXPECT_EQ(shown, named) << listed.Out << extracted.Out;
    EXPECT_EQ(listedFaults, faults) << listed.Err << extracted.Out;
}

} // namespace

TEST(UnCabInterop, DamagedCabinetsAndSetsFailEachFileCabextractFails) {
    // Each file that cannot be decoded or reached fails by its own name, the others come out
    // whole (also the files after a damaged folder, and empty ones): what cabextract -t passes,
    // we pass, and every file we fail, it fails. A set opened at a later cabinet is extracted
    // from its first one. krvprobe extract counts the same.
    TempDir sources;
    std::vector<std::string> five;
    for (int i = 1; i <= 5; ++i) {
        five.push_back("f" + std::to_string(i) + ".txt");
        WriteFile(sources / five.back(), TextBytes(18000, static_cast<std::uint32_t>(i)));
    }
    WriteFile(sources / "empty", "");
    const auto gcab = [&](const fs::path& Dir, std::vector<std::string> Names) {
        const fs::path cab = Dir / "made.cab";
        Names.insert(Names.begin(), {"gcab", "-cz", cab.string()});
        EXPECT_EQ(RunTool(Names, sources.Path()).ExitCode, 0);
        return cab;
    };
    const auto u16 = [](const std::string& B, std::size_t At) {
        return static_cast<std::size_t>(static_cast<unsigned char>(B[At]) |
                                        (static_cast<unsigned char>(B[At + 1]) << 8));
    };
    // The offset of data block Block (0-based) of the cabinet's first folder.
    const auto blockAt = [&](const fs::path& Cab, int Block) {
        const std::string b = ReadFile(Cab);
        std::size_t at = u16(b, 36) | (u16(b, 38) << 16);
        for (int i = 0; i < Block; ++i)
            at += 8 + u16(b, at + 4);
        return at;
    };
    const auto copyCorpus = [](const fs::path& Dir, const std::string& From, const std::string& To) {
        fs::copy_file(CorpusDir() / From, Dir / To);
        return Dir / To;
    };
    const auto multiBasic = [&](const fs::path& Dir, int Leave) {
        for (int i = 1; i <= 5; ++i)
            if (i != Leave)
                copyCorpus(Dir, "libmspack/cabd/multi_basic_pt" + std::to_string(i) + ".cab",
                           "cabd_multi_basic_pt" + std::to_string(i) + ".cab");
        return Dir / "cabd_multi_basic_pt2.cab";
    };
    struct TCase {
        const char* What;
        std::function<fs::path(const fs::path& Dir)> Make;
        std::set<std::string> Failing;
        bool CabextractRefuses = false; // the whole cabinet, by its size
    };
    const std::vector<TCase> cases = {
        {"gcab -z, a byte of the second data block changed",
         [&](const fs::path& Dir) {
             const fs::path cab = gcab(Dir, five);
             FlipByteAt(cab, blockAt(cab, 1) + 100);
             return cab;
         },
         {"f2.txt", "f3.txt", "f4.txt", "f5.txt"}},
        {"gcab -z, an empty file after the damaged block",
         [&](const fs::path& Dir) {
             const fs::path cab = gcab(Dir, {"f1.txt", "f2.txt", "empty", "f3.txt"});
             FlipByteAt(cab, blockAt(cab, 0) + 100);
             return cab;
         },
         {"f1.txt", "f2.txt", "f3.txt"}},
        {"gcab -z, cut inside its second data block",
         [&](const fs::path& Dir) {
             const fs::path cab = gcab(Dir, five);
             fs::resize_file(cab, blockAt(cab, 1) + 500);
             return cab;
         },
         {"f2.txt", "f3.txt", "f4.txt", "f5.txt"},
         true},
        {"our LZX, a byte of the third and last data block changed",
         [&](const fs::path& Dir) {
             const fs::path cab = Dir / "made.cab";
             std::vector<std::string> args{"add", cab.string(), "-m", "lzx"};
             for (const std::string& name : five)
                 args.push_back((sources / name).string());
             EXPECT_EQ(RunProbe(args).ExitCode, 0);
             FlipByteAt(cab, blockAt(cab, 2) + 20);
             return cab;
         },
         // The folder holds f4, f1, f2, f5, f3 in turn; the second frame's decoding already
         // reads into the damaged third block.
         {"f1.txt", "f2.txt", "f3.txt", "f5.txt"}},
        {"MSZIP, LZX and Quantum folders, the LZX one damaged",
         [&](const fs::path& Dir) {
             const fs::path cab = copyCorpus(Dir, "libmspack/cabd/mszip_lzx_qtm.cab", "three.cab");
             const std::string b = ReadFile(cab);
             FlipByteAt(cab, (u16(b, 44) | (u16(b, 46) << 16)) + 8 + 50);
             return cab;
         },
         {"lzx.txt"}},
        {"a set opened at its second cabinet", [&](const fs::path& Dir) { return multiBasic(Dir, 0); }, {}},
        {"a set opened at its third cabinet",
         [&](const fs::path& Dir) {
             CopySplitSet(Dir);
             return Dir / "split-3.cab";
         },
         {}},
        {"a set opened at its second cabinet, the first missing",
         [&](const fs::path& Dir) { return multiBasic(Dir, 1); },
         {"test1.txt", "test2.txt", "test3.txt"}},
        {"a set opened at its second cabinet, the one before of another set",
         [&](const fs::path& Dir) {
             copyCorpus(Dir, "libmspack/cabd/mszip_lzx_qtm.cab", "cabd_multi_basic_pt1.cab");
             return multiBasic(Dir, 1);
         },
         {"test1.txt", "test2.txt", "test3.txt"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TempDir work, ours, byProbe;
        const fs::path cab = c.Make(work.Path());
        const std::map<std::string, bool> theirs = CabextractVerdicts(cab);
        ASSERT_EQ(theirs.empty(), c.CabextractRefuses);

        const ExtractResult result = ExtractAll(cab, ours.Path());
        std::set<std::string> failing, passing;
        for (const auto& [name, passed] : result.Ends)
            (passed ? passing : failing).insert(name);
        EXPECT_EQ(failing, c.Failing) << result.Describe();
        EXPECT_EQ(result.FilesFailed, std::ssize(c.Failing));
        if (!c.CabextractRefuses) {
            EXPECT_EQ(passing.size() + failing.size(), theirs.size()) << result.Describe();
        }
        for (const std::string& name : failing) {
            EXPECT_TRUE(c.CabextractRefuses || !theirs.at(name)) << name << " passed cabextract -t";
            bool named = false;
            for (const auto& [file, code] : result.Errors)
                named |= fs::path(file).filename() == name;
            EXPECT_TRUE(named) << name << " failed without an error of its own\n" << result.Describe();
        }
        for (const auto& [name, passed] : theirs)
            if (passed) {
                EXPECT_TRUE(passing.count(name)) << name << " passed cabextract -t";
            }
        // What passed is on disk, whole (as written, or as cabextract gives the files it
        // passes); nothing of what failed.
        const auto tree = ReadTree(ours.Path());
        EXPECT_EQ(tree.size(), passing.size());
        const auto source = ReadTree(sources.Path());
        TempDir reference;
        RunTool({"cabextract", "-q", "-d", reference.Str(), cab.string()});
        const auto extracted = ReadTree(reference.Path());
        for (const auto& [name, data] : tree) {
            EXPECT_TRUE(passing.count(name)) << name;
            const bool written = cab.filename() == "made.cab";
            EXPECT_TRUE(data == (written ? source.at(name) : extracted.at(name))) << name;
        }
        // krvprobe: one line per file, the passed ones OK; the files on disk the same.
        const ToolResult probe = RunProbe({"extract", cab.string(), byProbe.Str()});
        std::size_t okLines = 0;
        std::istringstream lines(probe.Out);
        for (std::string line; std::getline(lines, line);)
            okLines += line.size() > 3 && line.compare(line.size() - 3, 3, "\tOK") == 0;
        EXPECT_EQ(probe.ExitCode, c.Failing.empty() ? 0 : 1) << probe.Out;
        // The probe cancels at a missing cabinet.
        if (std::string(c.What).find("missing") == std::string::npos) {
            EXPECT_EQ(okLines, passing.size()) << probe.Out;
            EXPECT_EQ(ReadTree(byProbe.Path()).size(), passing.size()) << probe.Out;
        }
    }
}

TEST(UnCabInterop, GcabCabinetsExtractLikeCabextract) {
    for (const bool mszip : {false, true}) {
        SCOPED_TRACE(mszip ? "gcab -z (MSZIP)" : "gcab (stored)");
        TempDir sources, work, ours, theirs;
        const fs::path cab = MakeGcabCabinet(sources.Path(), work / "made.cab", mszip);
        const ExtractResult result = ExtractAll(cab, ours.Path());
        EXPECT_TRUE(result.AllPassed()) << result.Describe();
        EXPECT_EQ(result.Ends.size(), 5u);
        const ToolResult oracle = RunTool({"cabextract", "-q", "-d", theirs.Str(), cab.string()});
        ASSERT_EQ(oracle.ExitCode, 0) << oracle.Err;
        EXPECT_EQ(CompareTrees(ReadTree(theirs.Path()), "cabextract", ReadTree(ours.Path()), "Quillar"), "");
    }
}

TEST(UnCabInterop, ACabinetOfManyFilesByGcabComesOutWhole) {
    // Thousands of small and empty files in many folders: every one comes out, each once.
    TempDir dir;
    const fs::path src = dir / "src";
    std::vector<std::string> argv = {"gcab", "-cz", (dir / "many.cab").string()};
    for (int i = 0; i < 4000; ++i) {
        const std::string name = "d" + std::to_string(i % 40) + "/f" + std::to_string(i);
        fs::create_directories((src / name).parent_path());
        WriteFile(src / name, i % 3 == 0 ? std::string() : TextBytes(static_cast<std::size_t>(i % 900), i));
        argv.push_back(name);
    }
    ASSERT_EQ(RunTool(argv, src).ExitCode, 0);
    TempDir out;
    const ExtractResult ours = ExtractAll(dir / "many.cab", out.Path());
    EXPECT_TRUE(ours.AllPassed()) << ours.Describe();
    EXPECT_EQ(ours.Ends.size(), 4000u);
    EXPECT_EQ(CompareTrees(ReadTree(src), "source", ReadTree(out.Path()), "ours"), "");
}

TEST(UnCabInterop, LzxAndQuantumSamplesGiveTheManifestContent) {
    int checked = 0;
    for (const auto& [archive, rows] : ManifestArchives("lib")) {
        if (rows.front().Format != "cab") continue;
        bool wanted = false;
        for (const ManifestRow& row : rows)
            wanted |= (row.Notes.find("LZX") != std::string::npos ||
                       row.Notes.find("Quantum") != std::string::npos) &&
                      row.Notes.find("disagree") == std::string::npos && row.Sha256 != "-";
        if (!wanted) continue;
        TempDir dest;
        const ExtractResult result = ExtractAll(CorpusDir() / archive, dest.Path());
        EXPECT_TRUE(result.AllPassed()) << archive << ":\n" << result.Describe();
        for (const ManifestRow& row : rows)
            EXPECT_EQ(ManifestMismatch(row, dest.Path()), "");
        ++checked;
    }
    EXPECT_GE(checked, 4);
}

TEST(UnCabInterop, SetsWholeMissingACabinetAndEnteredInTheMiddle) {
    const auto manifest = ManifestArchives("libmspack/cabextract/split-1.cab");
    ASSERT_EQ(manifest.size(), 1u);
    const std::vector<ManifestRow>& rows = manifest.begin()->second;
    // The whole set comes out, from its first cabinet on, whichever cabinet is opened; a
    // cabinet not beside the one that names it is asked for (the cabinet before it then found
    // beside it).
    struct TCase {
        const char* What;
        std::vector<int> Elsewhere; // cabinets that lie in another folder
        const char* Open;
        std::vector<std::string> Asked;
    };
    const TCase cases[] = {
        {"the whole set, later cabinets beside the first", {}, "split-1.cab", {}},
        {"the second cabinet in another folder", {2}, "split-1.cab", {"Split-2.CAB"}},
        {"a set entered at its third cabinet", {}, "split-3.cab", {}},
        {"a set entered at its third cabinet, the first two elsewhere",
         {1, 2},
         "split-3.cab",
         {"Split-2.CAB"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TempDir set, aside, dest;
        CopySplitSet(set.Path(), c.Elsewhere);
        CopySplitSet(aside.Path());
        std::vector<std::string> asked;
        const ExtractResult result = ExtractAll(set / c.Open, dest.Path(), [&](TUnBase& Reader) {
            Reader.OnNextVolume = [&](TZipCommon&, std::string& Name, const std::string&, bool,
                                      bool& Cancel) {
                asked.push_back(fs::path(Name).filename().string());
                Name = (aside / LowerCaseAscii(asked.back())).string();
                Cancel = false;
            };
        });
        EXPECT_EQ(asked, c.Asked);
        EXPECT_TRUE(result.AllPassed()) << result.Describe();
        for (const ManifestRow& row : rows)
            EXPECT_EQ(ManifestMismatch(row, dest.Path()), "");
    }
    {
        SCOPED_TRACE("the second cabinet missing, the next-volume question cancelled");
        TempDir set, dest;
        CopySplitSet(set.Path(), {2});
        // A file of that name exists: the failed entry must not touch it.
        WriteFile(dest / "medium1.bin", "keep me");
        int asked = 0;
        const ExtractResult result = ExtractAll(set / "split-1.cab", dest.Path(), [&](TUnBase& Reader) {
            Reader.OnNextVolume = [&](TZipCommon&, std::string&, const std::string&, bool, bool& Cancel) {
                ++asked;
                Cancel = true;
            };
        });
        EXPECT_EQ(asked, 1);
        EXPECT_FALSE(result.Errors.empty()) << result.Describe();
        EXPECT_GE(result.FilesFailed, 1);
        for (const ManifestRow& row : rows) {
            if (row.Entry == "small1.bin") {
                EXPECT_EQ(ManifestMismatch(row, dest.Path()), "");
            }
        }
        EXPECT_EQ(ReadFile(dest / "medium1.bin"), "keep me");
        EXPECT_EQ(ReadTree(dest.Path()).size(), 2u) << "only small1.bin and the old medium1.bin";
    }
}

TEST(UnCabInterop, FilesWhoseRangesCannotBeRightFailByName) {
    // A file's size or offset changed so that it overlaps the next file, leaves a gap or runs
    // past its folder's data: that file fails by its name, the others come out whole. 7zz
    // refuses each such cabinet as a whole.
    TempDir sources;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a.bin", RandomBytes(3000, 1)}, {"b.txt", TextBytes(30, 2)}, {"c.txt", TextBytes(5000, 3)}};
    for (const auto& [name, data] : files)
        WriteFile(sources / name, data);
    // Sets the u32 at the offset Field of the record of Name (0 size, 4 offset), or of the
    // header (Name empty: Field is the header's offset) to Value.
    const auto patch = [](std::string& B, const std::string& Name, std::size_t Field, std::uint32_t Value) {
        const std::size_t at = Name.empty() ? Field : B.find(Name + '\0') - 16 + Field;
        for (int i = 0; i < 4; ++i)
            B[at + static_cast<std::size_t>(i)] = static_cast<char>(Value >> (8 * i));
    };
    struct TCase {
        const char* What;
        std::vector<std::string> Make; // the cabinet, then the names, follow
        std::vector<std::tuple<std::string, std::size_t, std::uint32_t>> Changes;
        std::string Failing;
    };
    const TCase cases[] = {
        {"gcab, a.bin's size 3000 -> 3100", {"gcab", "-c"}, {{"a.bin", 0, 3100}}, "a.bin"},
        {"gcab -z, c.txt's offset 3030 -> 3000", {"gcab", "-cz"}, {{"c.txt", 4, 3000}}, "c.txt"},
        {"our LZX, the cabinet's size beyond the file, b.txt's size 30 -> 22",
         {ProbePath().string(), "add", "-m", "lzx"},
         {{"", 8, 1u << 20}, {"b.txt", 0, 22}},
         "b.txt"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TempDir work, dest;
        const fs::path cab = work / "made.cab";
        std::vector<std::string> make = c.Make;
        if (make[1] == "add")
            make.insert(make.begin() + 2, cab.string());
        else
            make.push_back(cab.string());
        for (const auto& [name, data] : files)
            make.push_back(name);
        ASSERT_EQ(RunTool(make, sources.Path()).ExitCode, 0);
        std::string bytes = ReadFile(cab);
        for (const auto& [name, field, value] : c.Changes)
            patch(bytes, name, field, value);
        WriteFile(cab, bytes);
        EXPECT_NE(RunTool({"7zz", "t", cab.string()}).ExitCode, 0);
        const ExtractResult result = ExtractAll(cab, dest.Path());
        std::set<std::string> failing;
        for (const auto& [name, passed] : result.Ends)
            if (!passed) failing.insert(name);
        EXPECT_EQ(failing, std::set<std::string>{c.Failing}) << result.Describe();
        EXPECT_TRUE(result.HasError(ecBadFileHeader)) << result.Describe();
        for (const auto& [name, data] : files)
            if (name != c.Failing) {
                EXPECT_TRUE(ReadFile(dest / name) == data) << name;
            }
        EXPECT_FALSE(fs::exists(dest / c.Failing));
        ExpectListShowsWhatExtractNames(cab);
    }
}

TEST(UnCabInterop, SetsFollowBareNextNamesOfTheirOwnSetAndNameWhatABrokenOneLoses) {
    // The first cabinet's next name leads out of its folder, to a cabinet of another set there
    // and beside; or the second cabinet is cut inside its file records. Only the bare name of
    // the same set is followed, by the reader and the lister; every file that cannot be read
    // fails by its own name and the set goes on where its cabinets still say how.
    const auto manifest = ManifestArchives("libmspack/cabextract/split-1.cab");
    ASSERT_EQ(manifest.size(), 1u);
    const std::string other = "libmspack/cabd/mszip_lzx_qtm.cab"; // of another set
    struct TCase {
        const char* What;
        const char* NextName;             // in place of "Split-2.CAB"
        std::vector<std::string> OtherAt; // where the other set's cabinet lies, from the set's folder
        std::int64_t CutSecond;           // the second cabinet cut to this size (-1: whole)
        std::set<std::string> Failing;
        std::vector<int> Codes; // errors that must be among those reported
    };
    const TCase cases[] = {
        {"next name ../next.cab, another set's cabinet there", "../next.cab", {"../next.cab"}, -1, {}, {}},
        {"next name ../../o.cab, another set's cabinet there and beside",
         "../../o.cab",
         {"../../o.cab", "o.cab"},
         -1,
         {"small2.bin", "medium1.bin"},
         {ecCabinetNotInSet, ecBrokenMultiVolumeChain}},
        {"the second cabinet cut inside its file records",
         "Split-2.CAB",
         {},
         380,
         {"small2.bin", "medium1.bin", "medium2.bin"},
         {ecBadFileHeader, ecBrokenMultiVolumeChain}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        TempDir root, dest;
        const fs::path set = root / "a/b";
        fs::create_directories(set);
        CopySplitSet(set);
        std::string first = ReadFile(set / "split-1.cab");
        first.replace(first.find("Split-2.CAB"), 11, c.NextName);
        WriteFile(set / "split-1.cab", first);
        if (c.NextName != std::string("Split-2.CAB")) fs::rename(set / "split-2.cab", set / "next.cab");
        for (const std::string& at : c.OtherAt)
            fs::copy_file(CorpusDir() / other, set / at);
        if (c.CutSecond >= 0) fs::resize_file(set / "split-2.cab", static_cast<std::uintmax_t>(c.CutSecond));

        const ExtractResult result = ExtractAll(set / "split-1.cab", dest.Path(), [](TUnBase& Reader) {
            Reader.OnNextVolume = [](TZipCommon&, std::string&, const std::string&, bool Exists,
                                     bool& Cancel) { Cancel = !Exists; };
        });
        std::set<std::string> failing;
        for (const auto& [name, passed] : result.Ends)
            if (!passed) failing.insert(name);
        EXPECT_EQ(failing, c.Failing) << result.Describe();
        for (const std::string& name : failing) {
            bool named = false;
            for (const auto& [file, code] : result.Errors)
                named |= fs::path(file).filename() == name;
            EXPECT_TRUE(named) << name << " failed without an error of its own\n" << result.Describe();
        }
        for (const int code : c.Codes)
            EXPECT_TRUE(result.HasError(code)) << code << "\n" << result.Describe();
        // What passed is the set's own content; nothing of the other set comes out or is listed.
        for (const ManifestRow& row : manifest.begin()->second)
            if (!c.Failing.count(row.Entry) && std::ssize(result.Ends) > 3) {
                EXPECT_EQ(ManifestMismatch(row, dest.Path()), "");
            }
        for (const auto& [name, data] : ReadTree(dest.Path()))
            EXPECT_TRUE(manifest.begin()->second.end() !=
                        std::find_if(manifest.begin()->second.begin(), manifest.begin()->second.end(),
                                     [&](const ManifestRow& Row) { return Row.Entry == name; }))
                << name;
        const ToolResult listed = RunProbe({"list", (set / "split-1.cab").string()});
        EXPECT_EQ(listed.Out.find(".txt"), std::string::npos) << listed.Out;
        EXPECT_NE(listed.Out.find("medium1.bin"), std::string::npos) << listed.Out;
        ExpectListShowsWhatExtractNames(set / "split-1.cab");
    }
}

TEST(UnCabInterop, DamagedAndMissingCabinetsAreErrors) {
    {
        SCOPED_TRACE("a flipped byte in MSZIP data");
        TempDir sources, work, dest;
        const fs::path cab = MakeGcabCabinet(sources.Path(), work / "made.cab", true);
        FlipByteAt(cab, static_cast<std::size_t>(fs::file_size(cab) / 2));
        const ExtractResult result = ExtractAll(cab, dest.Path());
        // Each file that fails, by its own name.
        EXPECT_GE(result.FilesFailed, 1) << result.Describe();
        EXPECT_EQ(result.CountOf(ecCorruptInput), result.FilesFailed) << result.Describe();
        EXPECT_EQ(std::ssize(result.Errors), result.FilesFailed) << result.Describe();
        // What was written of the damaged files is gone.
        for (const auto& [name, data] : ReadTree(dest.Path()))
            if (name.back() != '/') {
                EXPECT_EQ(data, ReadFile(sources / name)) << name;
            }
    }
    {
        SCOPED_TRACE("stored names that leave the destination");
        TempDir sources, work, outer;
        WriteFile(sources / "xxxup.txt", "up");
        WriteFile(sources / "yyyback.txt", "back");
        WriteFile(sources / "fine.txt", "fine");
        const fs::path cab = work / "names.cab";
        ASSERT_EQ(
            RunTool({"gcab", "-c", cab.string(), "xxxup.txt", "yyyback.txt", "fine.txt"}, sources.Path())
                .ExitCode,
            0);
        std::string data = ReadFile(cab);
        data.replace(data.find("xxx"), 3, "../");
        data.replace(data.find("yyy"), 3, "..\\");
        WriteFile(cab, data);
        const fs::path dest = outer / "dest";
        fs::create_directories(dest);
        const ExtractResult result = ExtractAll(cab, dest);
        EXPECT_EQ(result.CountOf(ecInvalidFileName), 2) << result.Describe();
        ExpectOnly(outer.Path(), {"dest/", "dest/fine.txt"});
    }
    {
        SCOPED_TRACE("the cabinet is gone when the extraction starts");
        TempDir sources, work, dest;
        const fs::path cab = MakeGcabCabinet(sources.Path(), work / "made.cab", false);
        TUnCab reader;
        reader.SetArchiveFile(cab.string());
        reader.SetExtractDir(dest.Str());
        reader.FileSpec = {"*"};
        std::vector<int> codes;
        reader.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&,
                             int Code) { codes.push_back(Code); };
        fs::remove(cab);
        EXPECT_EQ(reader.Extract(), 0);
        EXPECT_EQ(codes, std::vector<int>{ecFileNotFound});
    }
}

TEST(UnCabInterop, MszipCabinetsOfGcabReorderedOrDamagedAsCabextractReadsThem) {
    // The MSZIP blocks are inflated here, each from the 32 KiB before it: files listed against
    // their order start the folder again, and every damage to a block fails the files from it
    // on, with nothing of them left.
    TempDir sources, work;
    const fs::path made = MakeGcabCabinet(sources.Path(), work / "made.cab", true);
    const std::string bytes = ReadFile(made);
    const auto u16 = [&](std::size_t At) {
        return static_cast<std::size_t>(static_cast<unsigned char>(bytes[At]) |
                                        (static_cast<unsigned char>(bytes[At + 1]) << 8));
    };
    const auto u32 = [&](std::size_t At) { return u16(At) | (u16(At + 2) << 16); };
    ASSERT_EQ(u16(30), 0u) << "gcab wrote no reserved fields";
    const std::size_t filesAt = u32(16), files = u16(28), firstBlock = u32(36);
    const std::size_t secondBlock = firstBlock + 8 + u16(firstBlock + 4);
    ASSERT_EQ(bytes.substr(secondBlock + 8, 2), "CK");
    std::vector<std::string> records;
    std::size_t at = filesAt;
    for (std::size_t i = 0; i < files; ++i) {
        const std::size_t end = bytes.find('\0', at + 16) + 1;
        records.push_back(bytes.substr(at, end - at));
        at = end;
    }
    std::string reversed = bytes.substr(0, filesAt);
    for (auto r = records.rbegin(); r != records.rend(); ++r)
        reversed += *r;
    reversed += bytes.substr(at);
    const auto changed = [&](std::size_t At, char Byte) {
        std::string b = bytes;
        b[At] = Byte;
        return b;
    };
    struct TCase {
        const char* What;
        std::string Bytes;
        bool Damaged;
    };
    const TCase cases[] = {
        {"files listed last to first", reversed, false},
        {"the second block's signature gone", changed(secondBlock + 8, 'X'), true},
        {"the second block's checksum wrong", changed(secondBlock, static_cast<char>(bytes[secondBlock] ^ 1)),
         true},
        {"the second block claims no output", changed(secondBlock + 7, 0), true},
        {"the second block's data longer than a block may be", changed(secondBlock + 5, '\xFF'), true},
        {"the second block's deflate data damaged",
         changed(secondBlock + 40, static_cast<char>(bytes[secondBlock + 40] ^ 0x5A)), true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        const fs::path cab = work / "case.cab";
        WriteFile(cab, c.Bytes);
        TempDir ours, theirs;
        const ExtractResult result = ExtractAll(cab, ours.Path());
        const ToolResult oracle = RunTool({"cabextract", "-q", "-d", theirs.Str(), cab.string()});
        if (!c.Damaged) {
            EXPECT_TRUE(result.AllPassed()) << result.Describe();
            ASSERT_EQ(oracle.ExitCode, 0) << oracle.Err;
            EXPECT_EQ(CompareTrees(ReadTree(theirs.Path()), "cabextract", ReadTree(ours.Path()), "Quillar"),
                      "");
            continue;
        }
        EXPECT_NE(oracle.ExitCode, 0);
        // The files from the damaged block on fail, each by its own name (its data, or its range
        // against a block's size); a block header past the end is the cabinet's own error.
        EXPECT_GE(result.FilesFailed, 1) << result.Describe();
        int own = 0;
        for (const auto& [file, code] : result.Errors)
            if (file == cab.string())
                EXPECT_EQ(code, ecBadFileHeader);
            else
                own += code == ecCorruptInput || code == ecBadFileHeader;
        EXPECT_EQ(own, result.FilesFailed) << result.Describe();
        for (const auto& [name, data] : ReadTree(ours.Path()))
            if (name.back() != '/') {
                EXPECT_EQ(data, ReadFile(sources / name)) << name;
            }
    }
}

TEST(UnCabInterop, CabinetsOfManyFoldersExtractLikeCabextract) {
    // One file per folder; folders of several files and folders of none among them; reserved
    // fields; files listed out of their folders' order. Every cabinet is read twice by one
    // reader, after another cabinet: nothing of the one before may stay.
    const auto oneEach = [](std::size_t Count) {
        std::vector<TStoredFolder> folders(Count);
        for (std::size_t i = 0; i < Count; ++i)
            folders[i].Files = {
                {"f" + std::to_string(i) + ".txt", std::string(1 + i % 3, static_cast<char>('a' + i % 26))}};
        return folders;
    };
    std::vector<TStoredFolder> mixed = oneEach(700);
    mixed[5].Files.clear();
    for (std::size_t i = 255; i < 260; ++i)
        mixed[i].Files.clear();
    mixed[699].Files.clear();
    mixed[300].Files = {{"d/a.txt", "first"}, {"d/b.txt", ""}, {"d/c.txt", TextBytes(3000, 1)}};
    std::vector<std::size_t> reversed(600);
    for (std::size_t i = 0; i < reversed.size(); ++i)
        reversed[i] = reversed.size() - 1 - i;
    struct TCase {
        const char* What;
        std::string Bytes;
    };
    const TCase cases[] = {
        {"600 folders of one file", StoredCabinet(oneEach(600), false)},
        {"folders of several files and of none, reserved fields", StoredCabinet(mixed, true)},
        {"files listed against their folders' order", StoredCabinet(oneEach(600), false, reversed)},
        {"a few folders", StoredCabinet(oneEach(3), false)},
    };
    TempDir work;
    TUnCab reader;
    reader.FileSpec = {"*"};
    std::vector<std::pair<std::string, int>> errors;
    reader.OnError = [&](TZipCommon&, const std::string& Name, const std::string&, const std::string&,
                         int Code) { errors.emplace_back(Name, Code); };
    int round = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (const TCase& c : cases) {
            SCOPED_TRACE(c.What);
            const fs::path cab = work / ("c" + std::to_string(++round) + ".cab");
            WriteFile(cab, c.Bytes);
            TempDir ours, theirs;
            const ToolResult oracle = RunTool({"cabextract", "-q", "-d", theirs.Str(), cab.string()});
            ASSERT_EQ(oracle.ExitCode, 0) << oracle.Err;
            errors.clear();
            reader.SetArchiveFile(cab.string());
            reader.SetExtractDir(ours.Str());
            reader.Extract();
            EXPECT_TRUE(errors.empty()) << errors.front().first << " " << errors.front().second;
            EXPECT_EQ(reader.FilesFailed, 0);
            EXPECT_EQ(CompareTrees(ReadTree(theirs.Path()), "cabextract", ReadTree(ours.Path()), "Quillar"),
                      "");
        }
    }
}

TEST(UnCabInterop, ModesAndTimesAreCabextractsInAnyFolder) {
    // A read-only file among plain ones, extracted new and over the files of a run before, into a
    // plain folder and into one with a default ACL: modes and times as cabextract gives them in a
    // plain folder.
    TempDir sources, work, theirs;
    const fs::path cab = MakeGcabCabinet(sources.Path(), work / "made.cab", true);
    std::string bytes = ReadFile(cab);
    const std::size_t name = bytes.find(std::string("random.bin") + '\0');
    ASSERT_NE(name, std::string::npos);
    bytes[name - 2] = 0x21; // read-only, archive
    WriteFile(cab, bytes);
    const ToolResult oracle = RunTool({"cabextract", "-q", "-d", theirs.Str(), cab.string()});
    ASSERT_EQ(oracle.ExitCode, 0) << oracle.Err;
    const auto expected = ReadStamps(theirs.Path());
    ASSERT_EQ(expected.at("random.bin").substr(0, 4), "444 ");
    for (const bool acl : {false, true}) {
        SCOPED_TRACE(acl ? "default ACL" : "plain folder");
        TempDir ours;
        if (acl) {
            ASSERT_TRUE(SetDefaultAcl(ours.Path())) << std::strerror(errno);
        }
        for (const char* round : {"new", "over the files before"}) {
            SCOPED_TRACE(round);
            const ExtractResult result = ExtractAll(cab, ours.Path());
            EXPECT_TRUE(result.AllPassed()) << result.Describe();
            EXPECT_EQ(CompareTrees(expected, "cabextract", ReadStamps(ours.Path()), "Quillar"), "");
            EXPECT_EQ(CompareTrees(ReadTree(theirs.Path()), "cabextract", ReadTree(ours.Path()), "Quillar"),
                      "");
        }
    }
}
