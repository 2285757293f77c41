#include "engine/core/krvZipCommon.h"

#include "engine/core/krvCrc.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"

#include "TestSupport.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace testsupport;

namespace {

struct TErrorRecord {
    std::string FileName, ExtendedMsg, VolumeID;
    int Code;
};

// A component whose archive type can be set directly, with its errors recorded.
class TTestComponent : public TZipCommon {
public:
    TTestComponent() {
        OnError = [this](TZipCommon&, const std::string& F, const std::string& E, const std::string& V,
                         int C) {
            Errors.push_back({F, E, V, C});
        };
    }
    void ForceType(TArcType Type) { FArcType = Type; }
    void ForceArchiveFile(const std::string& Name) { FArchiveFile = Name; }
    std::vector<TErrorRecord> Errors;

    int CountOf(int Code) const {
        int n = 0;
        for (const auto& e : Errors)
            n += e.Code == Code;
        return n;
    }
};

std::string Out(TMemoryStream32& S) {
    return std::string(reinterpret_cast<const char*>(S.Memory()), static_cast<std::size_t>(S.Size()));
}

// An output that takes half of each write, then fails with EIO.
class TShortWriteStream : public TMemoryStream32 {
public:
    std::int64_t Write(const void* Buffer, std::int64_t Count) override {
        TMemoryStream32::Write(Buffer, Count / 2);
        errno = EIO;
        return Count / 2;
    }
};

} // namespace

TEST(ZipCommonErrors, RaiseAndReportFireOnErrorFirst) {
    TTestComponent c;
    try {
        c.RaiseError("a.zip", "detail", "0", ecBadFileHeader);
        FAIL() << "RaiseError must raise when the job is not cancelled";
    } catch (const E_RAISE& e) {
        EXPECT_EQ(e.Code(), ecBadFileHeader);
        EXPECT_STREQ(e.what(), "Bad file header");
        ASSERT_EQ(c.Errors.size(), 1U) << "OnError fires before the exception";
    }
    EXPECT_EQ(c.Errors[0].FileName, "a.zip");
    EXPECT_EQ(c.Errors[0].ExtendedMsg, "detail");
    EXPECT_EQ(c.Errors[0].VolumeID, "0");

    c.ReportError("b", "", "0", ecFileNotFound);
    ASSERT_EQ(c.Errors.size(), 2U);
    EXPECT_EQ(c.Errors[1].Code, ecFileNotFound);

    // An unknown code still reaches OnError; its exception has no text.
    try {
        c.RaiseError("x", "", "0", 25999);
        FAIL();
    } catch (const E_RAISE& e) {
        EXPECT_STREQ(e.what(), "");
    }
    EXPECT_EQ(c.Errors.back().Code, 25999);
}

TEST(ZipCommonErrors, EveryErrorAfterACancelIsReportedAsTheCancel) {
    TempDir dir;
    TTestComponent c;
    c.ForceArchiveFile((dir / "arc.zip").string());
    c.FileName = "current.txt";
    c.SetCancel(true);
    ASSERT_EQ(c.Errors.size(), 1U);
    EXPECT_EQ(c.Errors[0].Code, ecUserCanceled);
    EXPECT_EQ(c.Errors[0].FileName, (dir / "arc.zip").string());
    EXPECT_EQ(c.Errors[0].ExtendedMsg, "current.txt");
    EXPECT_EQ(c.Errors[0].VolumeID, "0");

    // Whatever fails after the cancel raises nothing and is reported as 25443 under its own name.
    EXPECT_NO_THROW(c.RaiseError("a", "", "0", ecBadFileHeader));
    c.ReportError("b", "", "0", ecFileFailsCRCCheck);
    EXPECT_EQ(c.CountOf(ecUserCanceled), 3);
    EXPECT_EQ(c.Errors.size(), 3U);
    EXPECT_EQ(c.Errors[2].FileName, "b");

    // The next job starts uncancelled.
    c.SetCancel(false);
    EXPECT_FALSE(c.Cancel());
    EXPECT_THROW(c.RaiseError("a", "", "0", ecBadFileHeader), E_RAISE);
    EXPECT_EQ(c.Errors.back().Code, ecBadFileHeader);
}

TEST(ZipCommonErrors, CancelSetThroughThePointerTurnsErrorsIntoTheCancel) {
    TTestComponent c;
    bool driverFlag = false;
    c.CancelPtr = &driverFlag; // a driving component shares its flag
    EXPECT_FALSE(c.GetCancel());
    driverFlag = true;
    EXPECT_TRUE(c.Cancel());
    EXPECT_NO_THROW(c.RaiseError("a", "", "0", ecErrorReadingFile));
    EXPECT_NO_THROW(c.RaiseError("b", "", "0", ecErrorReadingFile));
    ASSERT_EQ(c.Errors.size(), 2U);
    EXPECT_EQ(c.Errors[0].Code, ecUserCanceled);
    EXPECT_EQ(c.Errors[0].FileName, "a");
    EXPECT_EQ(c.Errors[1].FileName, "b");
    c.AimCancelAtOwnFlag();
    EXPECT_FALSE(c.Cancel());
}

TEST(ZipCommonErrors, TimeInTheErrorEventIsPausedOut) {
    std::uint64_t now = 1000;
    TTestComponent c;
    c.Timer.SetTickSource([&] { return now; });
    c.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int) {
        now += 4000;
    };
    c.Timer.Start();
    now += 1000;
    c.ReportError("a", "", "0", ecBadFileHeader);
    now += 500;
    c.Timer.Stop();
    EXPECT_FLOAT_EQ(c.Timer.Elapsed(), 1.5F);
}

TEST(ZipCommonWrite, AsciiTranslationAcrossBuffers) {
    TTestComponent c;
    c.AsciiTranslation = true;
    TMemoryStream32 out;
    c.RunningCrc32 = 0xFFFFFFFF;
    const std::string parts[] = {"one\ntwo\r", "\nthree\r\n", "\n", "four\n\n", "\r"};
    std::string plain;
    for (std::string p : parts) {
        plain += p;
        EXPECT_EQ(c.WriteRoutine(&out, p.data(), static_cast<std::int64_t>(p.size()), true, 32, false),
                  static_cast<std::int64_t>(p.size()));
    }
    // The CR that ended one buffer and the LF that began the next stay one CR LF.
    EXPECT_EQ(Out(out), "one\r\ntwo\r\nthree\r\n\r\nfour\r\n\r\n\r");
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(plain.data(), static_cast<std::int64_t>(plain.size()), crc);
    EXPECT_EQ(c.RunningCrc32, crc) << "the checksum covers the data as stored, not as translated";

    // The next entry starts afresh: a leading LF is translated again.
    c.SetCurrentFileName("next.txt");
    TMemoryStream32 out2;
    std::string lf = "\nx";
    c.WriteRoutine(&out2, lf.data(), 2, true, 0, false);
    EXPECT_EQ(Out(out2), "\r\nx");
}

TEST(ZipCommonWrite, OutputModesAndChecksums) {
    TTestComponent c;
    TMemoryStream32 out;
    std::string data = "abc";
    c.RunningCrc16 = 0;
    c.BlockWriteRoutine(&out, data.data(), 3, true, 16, false);
    EXPECT_EQ(c.RunningCrc16, 0x9738);
    EXPECT_EQ(Out(out), "abc");

    // Header bytes (DataFlag False) are written but not checksummed.
    c.BlockWriteRoutine(&out, data.data(), 3, false, 16, false);
    EXPECT_EQ(c.RunningCrc16, 0x9738);

    // Without file output the common writer writes nothing.
    c.OutputMode = omdNoOutput;
    EXPECT_FALSE(c.IsFileOutput());
    TMemoryStream32 none;
    EXPECT_EQ(c.WriteRoutine(&none, data.data(), 3, true, 32, false), 3);
    EXPECT_EQ(none.Size(), 0);
    c.OutputMode = omdAppend;
    EXPECT_TRUE(c.IsFileOutput());
}

TEST(ZipCommonWrite, DecipheringOnReadAndWrite) {
    const std::string plain = TextBytes(5000, 7);
    std::string secret = plain;
    TZipCipher writer;
    writer.InitCryptKeys("pw");
    writer.EncryptBuf(secret.data(), static_cast<std::int64_t>(secret.size()));

    for (int routine = 0; routine < 2; ++routine) {
        TTestComponent c;
        c.ForceType(atZip);
        c.Cipher.InitCryptKeys("pw");
        TMemoryStream32 out;
        std::string buffer = secret;
        auto& write = routine == 0 ? c.WriteRoutine : c.BlockWriteRoutine;
        write(&out, buffer.data(), 1234, true, 32, true);
        write(&out, buffer.data() + 1234, static_cast<std::int64_t>(buffer.size()) - 1234, true, 32, true);
        EXPECT_EQ(Out(out), plain) << "write routine " << routine;
    }

    // The read routine deciphers and checksums the plain bytes.
    TTestComponent c;
    c.ForceType(atZipExe);
    c.Cipher.InitCryptKeys("pw");
    TMemoryStream32 in;
    in.WriteBuffer(secret.data(), static_cast<std::int64_t>(secret.size()));
    in.SetPosition(0);
    std::string got(plain.size(), '\0');
    c.RunningCrc32 = 0xFFFFFFFF;
    EXPECT_EQ(c.ReadRoutine(in, got.data(), static_cast<std::int64_t>(got.size()), 32, true),
              static_cast<std::int64_t>(got.size()));
    EXPECT_EQ(got, plain);
    std::uint32_t crc = 0xFFFFFFFF;
    UpdateCrc32Buf(plain.data(), static_cast<std::int64_t>(plain.size()), crc);
    EXPECT_EQ(c.RunningCrc32, crc);
    EXPECT_EQ(c.ReadRoutine(in, got.data(), 0, 32, true), 0);
}

TEST(ZipCommonWrite, ArjGarbleCyclesThroughThePassword) {
    TTestComponent c;
    c.ForceType(atArj);
    c.Password = "abc";
    std::string data = "\x01\x02\x03\x04\x05";
    std::string garbled = data;
    for (std::size_t i = 0; i < garbled.size(); ++i)
        garbled[i] = static_cast<char>(garbled[i] ^ "abc"[i % 3]);
    // Two calls keep the position in the password.
    c.DecryptBuffer(true, garbled.data(), 2);
    c.DecryptBuffer(true, garbled.data() + 2, 3);
    EXPECT_EQ(garbled, data);
    // Unencrypted data and other types are left alone.
    std::string same = data;
    c.DecryptBuffer(false, same.data(), 5);
    c.ForceType(atLzh);
    c.DecryptBuffer(true, same.data(), 5);
    EXPECT_EQ(same, data);
}

TEST(ZipCommonWrite, FullDiskIsReportedBeforeTheException) {
    TTestComponent c;
    c.FileName = "big.bin";
    c.FilesProcessed = 3;
    bool reported = false;
    c.OnError = [&](TZipCommon&, const std::string& F, const std::string&, const std::string&, int Code) {
        EXPECT_EQ(Code, ecDiskFull);
        EXPECT_EQ(F, "big.bin");
        reported = true;
    };
    std::uint8_t status = 0;
    TFileStream32 full("/dev/full", fmOpenWrite, status);
    ASSERT_EQ(status, fsOpenOk);
    std::string data(70000, 'x');
    try {
        c.BlockWriteRoutine(&full, data.data(), static_cast<std::int64_t>(data.size()), true, 32, false);
        FAIL() << "a full disk must raise";
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.Code(), ecDiskFull);
        EXPECT_STREQ(e.what(), "Disk full");
        EXPECT_TRUE(reported) << "OnError before the exception";
    }
    EXPECT_EQ(c.FilesProcessed, 2) << "the failed file does not count as done";
}

TEST(ZipCommonWrite, ShortWriteAndCancelledShortWrite) {
    TTestComponent c;
    TShortWriteStream out;
    std::string data(100, 'y');
    EXPECT_THROW(c.WriteRoutine(&out, data.data(), 100, true, 32, false), E_RAISE);
    ASSERT_EQ(c.Errors.size(), 1U);
    EXPECT_EQ(c.Errors[0].Code, ecErrorWritingToFile);

    // After a cancel the failure still ends the run, reported as the cancel.
    c.Errors.clear();
    c.SetCancel(true);
    EXPECT_THROW(c.WriteRoutine(&out, data.data(), 100, true, 32, false), E_RAISE);
    EXPECT_THROW(c.WriteRoutine(&out, data.data(), 100, true, 32, false), E_RAISE);
    EXPECT_EQ(c.CountOf(ecUserCanceled), static_cast<int>(c.Errors.size()));

    // A missing output in file mode is a failed write, not a silent success.
    c.SetCancel(false);
    EXPECT_THROW(c.WriteRoutine(nullptr, data.data(), 100, true, 32, false), E_RAISE);
}

TEST(ZipCommonRead, LongStoredNamesAreConsumedWhole) {
    TTestComponent c;
    const std::string longName(300, 'n');
    TMemoryStream32 s;
    s.WriteBuffer(longName.data(), 300);
    s.WriteBuffer("NEXT", 4);
    s.SetPosition(0);
    EXPECT_EQ(c.ReadNameBuffer(s, 300), longName);
    char next[4];
    s.ReadBuffer(next, 4);
    EXPECT_EQ(std::string(next, 4), "NEXT");

    TMemoryStream32 z;
    z.WriteBuffer("ab\0cd!", 6);
    z.SetPosition(0);
    EXPECT_EQ(c.ReadNameBuffer(z, 5), "ab");
    EXPECT_EQ(z.Position(), 5);
    EXPECT_EQ(c.ReadNameBuffer(z, 0), "");
    EXPECT_EQ(c.ReadNameBuffer(z, 1000), "!") << "a name cut short by the end of the data";
}

TEST(ZipCommonProgress, PercentagesAndTheProgressRoutine) {
    ScriptedHostGuard host;
    TTestComponent c;
    std::vector<std::pair<int, int>> seen;
    c.OnProgress = [&](TZipCommon&, std::uint8_t F, std::uint8_t A) { seen.emplace_back(F, A); };
    c.BytesToDo = 250;
    c.DoProgress(50, 200, 1000);
    c.DoProgress(500, 200, 0);
    ASSERT_EQ(seen.size(), 2U);
    EXPECT_EQ(seen[0], std::make_pair(25, 75));
    EXPECT_EQ(seen[1], std::make_pair(100, 0)) << "capped at 100; 0 for an empty job";
    EXPECT_EQ(host.Host().Pumps, 2) << "the host runs on every report";

    // Streams report through StreamProgress: position, current file size, job total.
    c.CurrentFileSize = 400;
    c.JobTotal = 1000;
    c.BytesToDo = 500;
    TMemoryStream32 s;
    s.WriteBuffer(std::string(100, 'x').data(), 100);
    c.StreamProgressEvent()(s);
    EXPECT_EQ(seen.back(), std::make_pair(25, 50));

    // A driving component installs its own routine; reset restores the default.
    int custom = 0;
    c.ProgressRoutine = [&] { ++custom; };
    c.DoProgress(1, 2, 3);
    EXPECT_EQ(custom, 1);
    c.ResetRoutines();
    c.DoProgress(1, 2, 3);
    EXPECT_EQ(custom, 1);
    EXPECT_EQ(seen.size(), 4U);
}

TEST(ZipCommonFolders, TempDirQuestionAndFallback) {
    TempDir dir;
    ScriptedHostGuard host;
    TTestComponent c;
    const std::string missing = (dir / "a" / "b").string();
    host.Host().Answers = {mrNo};
    c.SetTempDir(missing);
    EXPECT_EQ(c.TempDir(), GetTempPathStr()) << "No leaves the system temporary folder in use";
    ASSERT_EQ(host.Host().Questions.size(), 1U);
    EXPECT_EQ(host.Host().Questions[0], "Directory does not exist... Create?\r\n\r\n" + missing + "/");
    EXPECT_FALSE(DirExists(missing));

    host.Host().Answers = {mrYes};
    c.SetTempDir(missing);
    EXPECT_TRUE(DirExists(missing));
    EXPECT_EQ(c.TempDir(), missing + "/");

    // A stored folder that disappears falls back to the system folder.
    c.Loading = true;
    c.SetTempDir((dir / "gone").string());
    EXPECT_EQ(host.Host().Questions.size(), 2U) << "nothing is asked while loading";
    EXPECT_EQ(c.TempDir(), GetTempPathStr());
    c.Loading = false;
    c.SetTempDir("");
    EXPECT_EQ(c.TempDir(), GetTempPathStr());
}

TEST(ZipCommonFolders, CreateTempFileName) {
    TempDir dir;
    const std::string name = CreateTempFileName(dir.Str());
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(fs::path(name).parent_path(), dir.Path());
    EXPECT_EQ(fs::path(name).filename().string().rfind("krv", 0), 0U);
    EXPECT_TRUE(fs::exists(name));
    EXPECT_EQ(fs::file_size(name), 0U);
    EXPECT_NE(CreateTempFileName(dir.Str()), name);

    const std::string nested = CreateTempFileName((dir / "x" / "y").string());
    EXPECT_EQ(fs::path(nested).parent_path(), dir / "x" / "y") << "a missing folder is created";
    const std::string fallback = CreateTempFileName("");
    EXPECT_EQ(fs::path(fallback).parent_path().string() + "/", GetTempPathStr());
    fs::remove(fallback);
}

TEST(ZipCommonFolders, ExtractDirAndCurrentFileName) {
    TempDir dir;
    TTestComponent c;
    c.SetExtractDir("out");
    EXPECT_EQ(c.ExtractDir(), "out/");
    c.SetCurrentFileName("a/b.txt");
    EXPECT_EQ(c.FileName, "out/a/b.txt") << "a relative destination stays relative";
    c.UseStoredDirs = false;
    c.SetCurrentFileName("a/b.txt");
    EXPECT_EQ(c.FileName, "out/b.txt");
    c.UseStoredDirs = true;

    c.SetCurrentFileName("../../etc/passwd");
    EXPECT_EQ(c.FileName, "") << "a name that leaves the destination gets no output name";
    ASSERT_EQ(c.Errors.size(), 1U);
    EXPECT_EQ(c.Errors[0].Code, ecInvalidFileName);
    EXPECT_EQ(c.Errors[0].FileName, "../../etc/passwd");

    c.SetCurrentFileName("");
    EXPECT_EQ(c.FileName, "");

    // Without a destination: the archive's folder, else the current folder.
    c.ForceArchiveFile((dir / "arc.zip").string());
    c.SetExtractDir("");
    EXPECT_EQ(c.ExtractDir(), dir.Str() + "/");
    c.SetCurrentFileName("x.txt");
    EXPECT_EQ(c.FileName, dir.Str() + "/x.txt");
    TTestComponent bare;
    bare.SetCurrentFileName("x.txt");
    EXPECT_EQ(bare.FileName, fs::current_path().string() + "/x.txt");
}

TEST(ZipCommonMisc, NamesDatesAndTypes) {
    TTestComponent c;
    EXPECT_EQ(c.GetArcTypeName(), "Not avail. ");
    c.ForceType(atMsGZ);
    EXPECT_EQ(c.GetArcTypeName().back(), '\t');
    EXPECT_EQ(TZipCommon::EngineVersion(), "4.8");
    EXPECT_EQ(TZipCommon::EngineVersionMajor, 4);
    EXPECT_EQ(TZipCommon::EngineVersionMinor, 8);

    EXPECT_DOUBLE_EQ(c.DosDateToDateTime(0), EncodeDate(1980, 1, 1) + EncodeTime(0, 1, 0));

    EXPECT_EQ(c.ApplyDateAttribute(0x12345678), 0x12345678U);
    c.MaxFileDate = 0x5A5A5A5A;
    c.DateAttribute = daMaxFileDate;
    EXPECT_EQ(c.ApplyDateAttribute(0x12345678), 0x5A5A5A5AU);
    c.DateAttribute = daSysDate;
    EXPECT_GT(c.ApplyDateAttribute(0), 0U);

    EXPECT_EQ(c.GetFileTypeName("/x/archive.tar.gz"), "GZ File");
    EXPECT_EQ(c.GetFileTypeName("/x.d/README"), "File");
    EXPECT_EQ(c.GetFileIconIndex("a.txt"), -1);

    EXPECT_TRUE(TZipCommon::IsZipArcType(atZipExe));
    EXPECT_FALSE(TZipCommon::IsZipArcType(atJar));
    EXPECT_FALSE(TZipCommon::IsKnownArcType(atFileOpenErr));
    EXPECT_TRUE(TZipCommon::IsKnownArcType(atHA));
    EXPECT_TRUE(TZipCommon::IsCompressibleArcType(atLzh));
    EXPECT_FALSE(TZipCommon::IsCompressibleArcType(atArj));
    EXPECT_TRUE(TZipCommon::IsExtractableArcType(atCab));
    EXPECT_FALSE(TZipCommon::IsTestableArcType(atCab));
    EXPECT_TRUE(TZipCommon::IsTestableArcType(atJarExe));
}

TEST(ZipCommonMisc, DefaultsAndAttributes) {
    TTestComponent c;
    EXPECT_FALSE(c.RecurseDirs);
    EXPECT_TRUE(c.UseStoredDirs);
    EXPECT_TRUE(c.TranslateOemChar);
    EXPECT_EQ(c.PasswordAttempts, 3);
    EXPECT_EQ(c.StoredDirNames, sdRelative);
    EXPECT_EQ(c.DeleteOptions, doAllowUndo);
    EXPECT_EQ(c.OverwriteMode, omOverwrite);
    EXPECT_EQ(c.Attributes, (TkrvFileAttrs{fsZeroAttr, fsReadOnly, fsArchive}));
    EXPECT_TRUE(c.AttributesEx.Empty());
    c.SetAttribute(fsHidden, true);
    c.SetAttribute(fsReadOnly, false);
    EXPECT_EQ(c.Attributes, (TkrvFileAttrs{fsZeroAttr, fsHidden, fsArchive}));
    c.SetAttributeEx(fsSysFile, true);
    EXPECT_TRUE(c.AttributesEx.Contains(fsSysFile));
    c.WorkList = {"a", "b"};
    c.ClearWorkList();
    EXPECT_TRUE(c.WorkList.empty());
}

TEST(ZipCommonMisc, ExclusionMasksFollowTheStoredNameRule) {
    TTestComponent c;
    c.ExcludeSpec = {"*.bak", "/src/old/*", ""};
    EXPECT_TRUE(c.IsExcluded("x.bak", "/src/"));
    EXPECT_TRUE(c.IsExcluded("old/a.txt", "/src/")) << "the mask is made relative like the names";
    EXPECT_FALSE(c.IsExcluded("new/a.txt", "/src/"));
    c.StoredDirNames = sdAbsolute;
    EXPECT_FALSE(c.IsExcluded("old/a.txt", "/src/"));
    EXPECT_TRUE(c.IsExcluded("/src/old/a.txt", "/src/"));
}
