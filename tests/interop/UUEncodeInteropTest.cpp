// Files the uuencoder writes are restored byte for byte, with their names and modes, by
// sharutils' uudecode (uuencoded, the volumes joined end to end), uudeview (uu, xx and Base64
// over volumes), munpack (the Base64 MIME part), coreutils' base64 -d and our own reader;
// lines are checked against hand-worked vectors.
#include "engine/core/krvErrorCodes.h"
#include "engine/formats/uu/krvUUEncode.h"

#include "ExtractRun.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

using namespace testsupport;

namespace {

mode_t Umask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

mode_t ModeOf(const fs::path& File) {
    struct stat st {};
    ::stat(File.c_str(), &st);
    return st.st_mode & 07777;
}

std::vector<std::string> Lines(const std::string& Text) {
    std::vector<std::string> lines;
    std::istringstream in(Text);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        lines.push_back(l);
    }
    return lines;
}

std::string Join(const std::vector<std::string>& Lines, std::size_t From, std::size_t To) {
    std::string s;
    for (std::size_t i = From; i < To && i < Lines.size(); ++i)
        s += Lines[i] + "\n";
    return s;
}

class UUEncodeInterop : public ::testing::Test {
protected:
    // Encodes Data as Out with Method in volumes of Kb; the volumes' lines in order.
    std::vector<std::vector<std::string>> Encode(const std::string& Data, const std::string& Out,
                                                 int Kb = 0) {
        WriteFile(Dir / "input.bin", Data);
        std::vector<std::string> args{"add", (Dir / Out).string()};
        if (Kb > 0) args.insert(args.end(), {"-v", std::to_string(Kb)});
        args.push_back((Dir / "input.bin").string());
        const ToolResult r = RunProbe(args);
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        std::vector<std::vector<std::string>> volumes;
        volumes.push_back(Lines(ReadFile(Dir / Out)));
        for (int part = 1;; ++part) {
            std::string name = Out;
            const std::string digits = std::to_string(part);
            name.replace(name.size() - digits.size(), digits.size(), digits);
            if (!fs::exists(Dir / name)) break;
            volumes.push_back(Lines(ReadFile(Dir / name)));
            fs::remove(Dir / name);
        }
        fs::remove(Dir / Out);
        return volumes;
    }

    std::string UUDecode(const std::vector<std::string>& Lines) {
        const ToolResult r =
            RunTool({"uudecode", "-o", "/dev/stdout"}, Dir.Path(), Join(Lines, 0, Lines.size()));
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        return r.Out;
    }

    std::string Base64Decode(const std::vector<std::string>& Lines) {
        // The body lies between the empty line after the MIME headers and "end".
        std::size_t from = 0;
        while (from < Lines.size() && Lines[from].rfind("Content-Disposition", 0) != 0)
            ++from;
        std::size_t to = from;
        while (to < Lines.size() && Lines[to] != "end")
            ++to;
        const ToolResult r = RunTool({"base64", "-d"}, Dir.Path(), Join(Lines, from + 2, to));
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        return r.Out;
    }

    TempDir Dir;
};

TEST_F(UUEncodeInterop, UudecodeAndBase64RestoreEverySize) {
    for (const std::size_t size : {0u, 1u, 2u, 44u, 45u, 46u, 57u, 58u, 1000u, 100000u}) {
        SCOPED_TRACE(size);
        const std::string data = RandomBytes(size, static_cast<std::uint32_t>(size) + 1);
        const auto uu = Encode(data, "out.uue");
        ASSERT_EQ(uu.size(), 1u);
        EXPECT_EQ(UUDecode(uu[0]), data);
        EXPECT_EQ(uu[0].back(), std::to_string(size) + " bytes");
        const auto b64 = Encode(data, "out.mim");
        EXPECT_EQ(Base64Decode(b64[0]), data);
        for (const std::string& l : uu[0])
            EXPECT_LE(l.size(), 61u);
    }
}

TEST_F(UUEncodeInterop, EveryPeerDecodesWhatWeWriteAlsoOverVolumes) {
    // uu: the volumes joined end to end through uudecode (name and mode of the "begin" line),
    // the volumes through uudeview, and our own reader; xx: uudeview and our reader; Base64:
    // munpack and uudeview take the MIME part.
    struct TCase {
        std::string Name;
        std::size_t Size;
        mode_t Mode;
        std::string Ext; // of the output: the method
        int Kb;          // per volume; 0: one file
    };
    const TCase cases[] = {
        {"plain.bin", 100000, 0644, ".uue", 0},
        {"with spaces.txt", 4500, 0755, ".uue", 2},
        {"n\xC3\xAF" "c\xC3\xB6 \xE2\x82\xAC.dat", 300000, 0600, ".uue", 16},
        {"x x.bin", 20000, 0640, ".xxe", 4},
        {"three.bin", 300, 0644, ".mim", 0},
        {"line.bin", 570, 0644, ".mim", 0},
        {"odd.bin", 1000, 0644, ".mim", 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name + c.Ext);
        TempDir work;
        const std::string data = RandomBytes(c.Size, static_cast<std::uint32_t>(c.Size));
        const fs::path input = work / c.Name;
        WriteFile(input, data);
        ::chmod(input.c_str(), c.Mode);
        const fs::path first = work / ("out" + c.Ext);
        std::vector<std::string> args{"add", first.string()};
        if (c.Kb > 0) args.insert(args.end(), {"-v", std::to_string(c.Kb)});
        args.push_back(input.string());
        ASSERT_EQ(RunProbe(args).ExitCode, 0);
        // The volumes in order: out.uue, out.uu1 ... out.uu9, out.u10 ...
        std::vector<std::string> volumes{first.string()};
        for (int part = 1;; ++part) {
            std::string name = first.string();
            const std::string digits = std::to_string(part);
            name.replace(name.size() - digits.size(), digits.size(), digits);
            if (!fs::exists(name)) break;
            volumes.push_back(name);
        }
        EXPECT_EQ(volumes.size() > 1, c.Kb > 0);
        fs::rename(input, work / "source");

        const fs::path uv = work / "uudeview";
        fs::create_directories(uv);
        std::vector<std::string> uudeview{"uudeview", "-i", "-q", "-p", uv.string()};
        uudeview.insert(uudeview.end(), volumes.begin(), volumes.end());
        EXPECT_EQ(RunUtf8(uudeview).ExitCode, 0);
        EXPECT_EQ(ReadTree(uv), (std::map<std::string, std::string>{{c.Name, data}}));
        if (c.Ext == ".mim") {
            const fs::path mp = work / "munpack";
            fs::create_directories(mp);
            EXPECT_EQ(RunUtf8({"munpack", "-q", first.string()}, mp).ExitCode, 0);
            EXPECT_EQ(ReadTree(mp), (std::map<std::string, std::string>{{c.Name, data}}));
            continue;
        }
        const fs::path ours = work / "ours";
        EXPECT_EQ(RunProbe({"extract", first.string(), ours.string()}).ExitCode, 0);
        EXPECT_EQ(ReadTree(ours), (std::map<std::string, std::string>{{c.Name, data}}));
        EXPECT_EQ(ModeOf(ours / c.Name), c.Mode & ~Umask());
        if (c.Ext == ".uue") {
            std::string joined;
            for (const std::string& v : volumes)
                joined += ReadFile(v);
            const fs::path ud = work / "uudecode";
            fs::create_directories(ud);
            EXPECT_EQ(RunUtf8({"uudecode"}, ud, joined).ExitCode, 0);
            EXPECT_EQ(ReadTree(ud), (std::map<std::string, std::string>{{c.Name, data}}));
            EXPECT_EQ(ModeOf(ud / c.Name), ModeOf(ours / c.Name));
        }
    }
}

TEST_F(UUEncodeInterop, XxAndUuComeBackThroughTheEngineReaderAlsoOverVolumes) {
    for (const std::string out : {"out.xxe", "out.uue"}) {
        for (const std::size_t size : {1u, 44u, 45u, 46u, 30000u}) {
            SCOPED_TRACE(out + " " + std::to_string(size));
            const std::string data = RandomBytes(size, static_cast<std::uint32_t>(size) + 5);
            WriteFile(Dir / "input.bin", data);
            const ToolResult made =
                RunProbe({"add", (Dir / out).string(), "-v", "4", (Dir / "input.bin").string()});
            ASSERT_EQ(made.ExitCode, 0) << made.Err;
            const fs::path back = Dir / "back";
            const ToolResult r = RunProbe({"extract", (Dir / out).string(), back.string()});
            EXPECT_EQ(r.ExitCode, 0) << r.Out;
            EXPECT_EQ(ReadFile(back / "input.bin"), data);
            fs::remove_all(back);
            for (const auto& f : fs::directory_iterator(Dir.Path()))
                if (f.path().filename().string().rfind("out.", 0) == 0) fs::remove(f.path());
        }
    }
}

TEST_F(UUEncodeInterop, LinesMatchHandWorkedVectors) {
    const auto line = [](TCompressMethod M, const std::string& Data) {
        return TUUEncode::EncodeLine(M, reinterpret_cast<const std::uint8_t*>(Data.data()), Data.size());
    };
    EXPECT_EQ(line(cmUUEncode, "Cat"), "#0V%T");
    EXPECT_EQ(line(cmXXEncode, "Cat"), "1Eq3o");
    EXPECT_EQ(line(cmXXEncode, ""), "+");
    EXPECT_EQ(line(cmUUEncode, ""), "`");
    EXPECT_EQ(line(cmXXEncode, std::string(3, '\0')), "1++++");
    EXPECT_EQ(line(cmXXEncode, "\xFF\xFF\xFF"), "1zzzz");
    EXPECT_EQ(line(cmBase64, "a"), "YQ==");
    EXPECT_EQ(line(cmBase64, "ab"), "YWI=");
    const std::string full = line(cmXXEncode, std::string(45, 'x'));
    EXPECT_EQ(full.size(), 61u);
    EXPECT_EQ(full[0], 'h');
    EXPECT_EQ(line(cmUUEncode, std::string(45, 'x'))[0], 'M');
    EXPECT_EQ(TUUEncode::ContentType("photo.JPG"), "image/jpeg");
}

TEST_F(UUEncodeInterop, BadOutputsAreRefusedAndAnOldOutputStaysOnCancel) {
    WriteFile(Dir / "in.txt", TextBytes(200000, 3));
    std::vector<int> errors;
    TUUEncode uu;
    uu.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int Code) {
        errors.push_back(Code);
    };
    uu.SetArchiveFile((Dir / "in.txt").string());
    uu.SetOutFilename(".");
    EXPECT_EQ(uu.Compress(), 0);
    EXPECT_EQ(errors, std::vector<int>{ecInvalidFileName});
    errors.clear();
    uu.SetOutFilename((Dir / "in.txt").string());
    EXPECT_EQ(uu.Compress(), 0);
    EXPECT_EQ(errors, std::vector<int>{ecSameInputAndOutputFileNames});
    EXPECT_EQ(ReadFile(Dir / "in.txt"), TextBytes(200000, 3));

    WriteFile(Dir / "in.uue", "old");
    uu.SetOutFilename((Dir / "in.uue").string());
    uu.OnProgress = [](TZipCommon& S, std::uint8_t, std::uint8_t) { S.SetCancel(true); };
    EXPECT_EQ(uu.Compress(), 0);
    EXPECT_EQ(ReadFile(Dir / "in.uue"), "old");
    EXPECT_EQ(FolderNames(Dir.Path()), (std::vector<std::string>{"in.txt", "in.uue"}));
}

} // namespace
