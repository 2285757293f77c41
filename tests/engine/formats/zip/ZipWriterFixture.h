// What the writer tests share: a folder of source files, a writer with recording handlers,
// and checks that an archive and its sources were left as they were.
#pragma once

#include "engine/formats/zip/krvZip.h"

#include "TestSupport.h"
#include "ThreadsFromEnvironment.h"
#include "ZipBuilder.h"
#include "ZipInspect.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <memory>

namespace testsupport {

class ZipWriterFixture : public ::testing::Test {
protected:
    fs::path Src() const { return Dir / "src"; }
    fs::path Archive() const { return Dir / ArchiveName; }

    void SetUp() override { fs::create_directories(Src()); }

    void Put(const std::string& Name, const std::string& Data) {
        fs::create_directories((Src() / Name).parent_path());
        WriteFile(Src() / Name, Data);
    }

    // A writer for Path, adding the files of the source folder, with recording handlers.
    template <typename T = TZip> std::unique_ptr<T> Writer(const fs::path& Path) {
        auto z = std::make_unique<T>();
        z->Threads = ThreadsFromEnvironment();
        z->OnError = [this](TZipCommon&, const std::string& File, const std::string& Msg, const std::string&,
                            int Code) {
            Errors.push_back(Code);
            ErrorTexts.push_back(File + " " + Msg);
        };
        z->DeleteOptions = doFinal;
        z->SetArchiveFile(Path.string());
        z->FileSpec = {(Src() / "*").string()};
        return z;
    }
    std::unique_ptr<TZip> Writer() { return Writer<TZip>(Archive()); }

    // Every file of the source folder with its bytes.
    std::map<std::string, std::string> Sources() const {
        std::map<std::string, std::string> m;
        for (const auto& f : fs::recursive_directory_iterator(Src()))
            if (f.is_regular_file()) m[fs::relative(f.path(), Src()).string()] = ReadFile(f.path());
        return m;
    }

    // Names of the entries of an archive, sorted.
    static std::vector<std::string> Names(const fs::path& Path) {
        std::vector<std::string> names;
        for (const ZipEntryBytes& e : InspectZip(Path).Entries)
            names.push_back(e.Name);
        std::sort(names.begin(), names.end());
        return names;
    }

    // Files in the archive's folder other than the archive and the sources (left-over temporaries).
    std::vector<std::string> Strays() const {
        std::vector<std::string> s;
        for (const auto& f : fs::directory_iterator(Dir.Path()))
            if (f.path() != Archive() && f.path() != Src()) s.push_back(f.path().filename().string());
        return s;
    }

    TempDir Dir;
    std::string ArchiveName = "out.zip";
    std::vector<int> Errors;
    std::vector<std::string> ErrorTexts;
};

} // namespace testsupport
