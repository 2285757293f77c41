// Files the uuencoder writes are restored byte for byte by sharutils' uudecode (uuencoded)
// and coreutils' base64 -d (the Base64 body), in one file or over volumes; xxencoded lines are
// checked against hand-worked vectors (the xx reader is being built beside this writer: once
// it is in, a round trip through it belongs here too).
#include "engine/core/krvErrorCodes.h"
#include "engine/write/krvUUEncode.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace testsupport;

namespace {

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

    // The volumes as one text: the first whole, the others without their "part" and "begin" lines.
    static std::vector<std::string> Joined(const std::vector<std::vector<std::string>>& Volumes) {
        std::vector<std::string> all = Volumes.front();
        for (std::size_t v = 1; v < Volumes.size(); ++v) {
            EXPECT_EQ(Volumes[v][0], "part " + std::to_string(v));
            all.insert(all.end(), Volumes[v].begin() + 2, Volumes[v].end());
        }
        return all;
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

TEST_F(UUEncodeInterop, VolumesHoldSixteenLinesPerKilobyteAndJoinToTheInput) {
    const std::string data = RandomBytes(10000, 77);
    for (const std::string out : {"out.uue", "out.mim"}) {
        SCOPED_TRACE(out);
        const auto volumes = Encode(data, out, 1);
        ASSERT_GT(volumes.size(), 10u);
        const std::size_t headerLines = out == "out.uue" ? 3 : 6;
        EXPECT_EQ(volumes[0].size(), headerLines + 16);
        for (std::size_t v = 1; v + 1 < volumes.size(); ++v)
            EXPECT_EQ(volumes[v].size(), 15u) << "volume " << v; // its two header lines count as three
        EXPECT_EQ(volumes.back().back(), "encoded into " + std::to_string(volumes.size()) + " file(s)");
        const std::vector<std::string> all = Joined(volumes);
        EXPECT_EQ(out == "out.uue" ? UUDecode(all) : Base64Decode(all), data);
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
