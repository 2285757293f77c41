#include "engine/write/krvArc2Arc.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvFileIo.h"
#include "engine/read/krvReaders.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool SameFile(const std::string& A, const std::string& B) {
    std::error_code ec;
    return A == B || fs::equivalent(A, B, ec);
}

bool EndsWithNoCase(const std::string& Text, const std::string& End) {
    return Text.size() > End.size() &&
           SameTextNoCase(std::string_view(Text).substr(Text.size() - End.size()), End);
}

} // namespace

TArc2Arc::TArc2Arc() {
    ConfirmOverwrites = true;
    Attributes = {fsReadOnly, fsHidden, fsSysFile, fsArchive};
}

std::string TArc2Arc::OutputNameOf(const std::string& NewArchive, TOutArcType Type) {
    if (Type != tyTarGzip || NewArchive.empty()) return NewArchive;
    if (EndsWithNoCase(NewArchive, ".tgz")) return NewArchive.substr(0, NewArchive.size() - 4) + ".tar.gz";
    // A name that ends in ".gz" is the gzip file itself (the tar writer names the tar in it).
    if (EndsWithNoCase(NewArchive, ".gz")) return NewArchive;
    return NewArchive + ".gz";
}

std::string TArc2Arc::UserName(const std::string& File) const {
    if (!FStageDir.Made()) return File;
    const std::string stage = AppendBackslash(FStageDir.Path());
    return File.rfind(stage, 0) == 0 ? FTarget : File;
}

std::string TArc2Arc::EntryName(const std::string& File) const {
    if (!FWorkDir.Made()) return File;
    const std::string work = AppendBackslash(FWorkDir.Path());
    return File.size() > work.size() && File.rfind(work, 0) == 0 ? File.substr(work.size()) : File;
}

TOnError TArc2Arc::UserNamedErrors(int& Errors) const {
    return [this, &Errors](TZipCommon& Sender, const std::string& File, const std::string& Msg,
                           const std::string& Volume, int Code) {
        ++Errors;
        if (OnError) OnError(Sender, UserName(File), UserName(Msg), Volume, Code);
    };
}

bool TArc2Arc::Activate() {
    if (ArchiveFile().empty() || !IsKnownArcType(ArcType())) return false;
    AimCancelAtOwnFlag();
    SetCancel(false);
    bool done = false;
    RunJob([this, &done] { done = Run(); }, [this] { RemoveTemporaries(); });
    return done && !GetCancel();
}

bool TArc2Arc::Run() {
    const std::string target = OutputName();
    if (target.empty()) RaiseError(ArchiveFile(), "", "0", ecInvalidArchiveType);
    FTarget = target;
    if (SameFile(ArchiveFile(), target)) RaiseError(target, "", "0", ecSameInputAndOutputFileNames);
    if (!CreateReader(ArcType())) RaiseError(ArchiveFile(), "", "0", ecInvalidArchiveType);
    if (!CreateWriter(OutArcType)) RaiseError(target, "", "0", ecInvalidArchiveType);
    if (OutArcMethod == amCreateNew && FileExists(target) && ConfirmOverwrites) {
        if (!OnFileExists) return false;
        TOverwriteMode mode = omOverwrite;
        OnFileExists(*this, target, mode);
        if (mode == omSkip || GetCancel()) return false;
    }
    const std::string folder = FolderOf(target);
    if (!folder.empty() && !ForceDirPath(folder)) RaiseError(target, "", "0", ecErrorOpeningFile);
    if (OnElapsedTime) Timer.Start();

    FWorkDir = TTempFolder(TempDir(), "krv");
    if (!FWorkDir.Made()) RaiseError(TempDir(), "", "0", ecErrorOpeningFile);
    if (!ExtractInput() || GetCancel()) return false;

    // A new archive is made in a private folder beside the output and put in place by rename
    // once it is whole: an existing output stays as it was until then.
    std::string written = target;
    if (OutArcMethod == amCreateNew) {
        FStageDir = TTempFolder(folder.empty() ? "." : folder, ".krv");
        if (!FStageDir.Made()) RaiseError(target, "", "0", ecErrorOpeningFile);
        written = JoinPath(FStageDir.Path(), fs::path(target).filename().string());
    }
    if (!CompressFolder(written) || GetCancel()) return false;
    if (IntegrityCheck && OnIntegrityStatus && !TestOutput(written)) return false;
    if (GetCancel()) return false;
    if (written != target) {
        std::error_code ec;
        fs::rename(written, target, ec);
        if (ec) RaiseError(target, "", "0", ecErrorOpeningFile);
    }
    Timer.Stop();
    if (OnElapsedTime) OnElapsedTime(*this, Timer.Elapsed());
    return true;
}

bool TArc2Arc::ExtractInput() {
    std::unique_ptr<TUnBase> reader = CreateReader(ArcType());
    TUnBase& r = *reader;
    r.SetArchiveFile(ArchiveFile());
    r.PasswordAttempts = PasswordAttempts;
    r.Password = Password;
    r.Passwords = Passwords;
    r.TranslateOemChar = TranslateOemChar;
    r.OnError = OnError;
    r.OnGetPassword = OnGetPassword;
    r.OnProgress = OnProgress;
    r.OnNextVolume = OnNextVolume;
    r.OnNestedTarFile = OnNestedTarFile;
    r.DateAttribute = daFileDate;
    r.UseStoredDirs = true;
    r.CreateStoredDirs = true;
    r.RecurseDirs = true;
    r.FileSpec = {"*"};
    r.SetExtractDir(FWorkDir.Path());
    r.OnBegin = OnExtractBegin;
    r.OnEnd = OnExtractEnd;
    r.OnActivate = OnExtractActivate;
    r.OnDeactivate = OnExtractDeactivate;
    r.DriveCancelFrom(*this);
    r.Extract();
    // Whatever failed to come out would be missing from the new archive.
    return r.FilesFailed == 0 && r.ErrorsReported == 0;
}

bool TArc2Arc::CompressFolder(const std::string& Target) {
    std::unique_ptr<TCompBase> writer = CreateWriter(OutArcType);
    TCompBase& w = *writer;
    w.SetArchiveFile(Target);
    w.DateAttribute = DateAttribute;
    w.Attributes = Attributes;
    w.AttributesEx = AttributesEx;
    w.RecurseDirs = true;
    w.Switch = swAdd;
    w.StoredDirNames = sdRelative;
    // The new archive keeps the old one's empty folders (a conversion may delete its original),
    // where the format holds folders: a cabinet holds files only.
    w.StoreEmptySubDirs = OutArcType != tyCab;
    w.TranslateOemChar = TranslateOemChar;
    w.ExcludeSpec.clear();
    w.FileSpec = {AppendBackslash(FWorkDir.Path()) + "*"};
    w.SetTempDir(TempDir());
    int errors = 0;
    w.OnError = UserNamedErrors(errors);
    w.OnProgress = OnProgress;
    w.OnBegin = OnCompressBegin;
    w.OnEnd = OnCompressEnd;
    w.OnActivate = OnCompressActivate;
    w.OnDeactivate = OnCompressDeactivate;
    w.DriveCancelFrom(*this);
    w.Compress();
    // A tar.gz target is the gzip file the tar writer makes.
    return errors == 0 && FileExists(Target);
}

bool TArc2Arc::TestOutput(const std::string& Target) {
    TZipCheck tester;
    tester.SetArchiveFile(Target);
    if (!IsTestableArcType(tester.ArcType())) {
        // A type the tester cannot read (a cabinet) is not tested; the conversion stands.
        ReportError(UserName(Target), "not tested", "0", ecInvalidArchiveType);
        return true;
    }
    tester.Password = Password;
    tester.Passwords = Passwords;
    tester.FileSpec = {"*"};
    tester.RecurseDirs = true;
    int errors = 0;
    tester.OnError = UserNamedErrors(errors);
    tester.OnGetPassword = OnGetPassword;
    tester.OnProgress = OnProgress;
    tester.OnNextVolume = OnNextVolume;
    tester.OnBegin = OnIntegrityBegin;
    tester.OnEnd = OnIntegrityEnd;
    tester.OnActivate = OnIntegrityActivate;
    tester.OnDeactivate = OnIntegrityDeactivate;
    tester.OnStatus = OnIntegrityStatus;
    // A tar.gz written here is read back whole, the tar inside it too, without a question.
    tester.OnNestedTarFile = [](TZipCommon&, const std::string&, bool& doUnTar) { doUnTar = true; };
    tester.OnChangeArchive = [&tester](TZipCommon&, const std::string& Name, TArcType Type) {
        tester.MoveToArchive(Name, Type);
    };
    tester.DriveCancelFrom(*this);
    tester.Activate();
    return tester.Tested > 0 && tester.Failed == 0;
}

void TArc2Arc::RemoveTemporaries() {
    // Only inside the folders made for this run; links are removed, never followed.
    for (TTempFolder* dir : {&FWorkDir, &FStageDir}) {
        if (!dir->Made()) continue;
        const std::string path = dir->Path();
        std::error_code ec;
        if (OnRemoveTempfile)
            for (auto it = fs::recursive_directory_iterator(path, ec);
                 !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
                // Each file by the name it was extracted under, below the folder.
                if (!it->is_directory(ec) || it->is_symlink(ec))
                    OnRemoveTempfile(*this, it->path().lexically_relative(path).string());
        dir->Remove();
        if (OnRemoveTempfile) OnRemoveTempfile(*this, path);
    }
}
