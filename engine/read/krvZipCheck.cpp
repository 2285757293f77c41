#include "engine/read/krvZipCheck.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/read/krvReaders.h"

#include <algorithm>

void TZipCheck::Activate() {
    AimCancelAtOwnFlag();
    SetCancel(false);
    Tested = 0;
    Failed = 0;
    // An error of the checks or inside the reader has reached OnError where it was raised: it
    // ends the run quietly.
    RunJob([this] { Run(); }, [] {});
}

void TZipCheck::MoveToArchive(const std::string& Name, TArcType Type) {
    FArchiveFile = Name;
    FArcType = Type;
}

void TZipCheck::Run() {
    if (ArchiveFile().empty() || !IsTestableArcType(ArcType()))
        RaiseError(ArchiveFile(), "", "0", ecInvalidArchiveType);
    if (!OnStatus) RaiseError(ArchiveFile(), "OnStatus", "0", ecRequiredEventNotAssigned);
    FilesProcessed = 0;
    if (OnElapsedTime) Timer.Start();
    const auto stopTimer = [this] {
        Timer.Stop();
        if (OnElapsedTime) OnElapsedTime(*this, Timer.Elapsed());
    };

    // A jar behind a stub has no reader of its own.
    std::unique_ptr<TUnBase> reader = ArcType() == atJarExe ? nullptr : CreateReader(ArcType());
    if (!reader) {
        ReportError(ArchiveFile(), "", "0", ecInvalidArchiveType);
        stopTimer();
        return;
    }
    TUnBase& r = *reader;
    r.CreateStoredDirs = false;
    r.UseStoredDirs = false;
    r.Password = Password;
    r.Passwords = Passwords;
    r.SetArchiveFile(ArchiveFile());
    r.FileSpec = FileSpec;
    r.ExcludeSpec = ExcludeSpec;
    r.PasswordAttempts = PasswordAttempts;
    r.RecurseDirs = RecurseDirs;
    r.TranslateOemChar = TranslateOemChar;
    r.Threads = Threads;
    r.OnEnd = [this](TZipCommon& Sender, const std::string& Name, bool Pass) {
        ++Tested;
        if (!Pass) ++Failed;
        OnStatus(Sender, Name, Pass);
        if (OnEnd) OnEnd(Sender, Name);
    };
    r.OnNextVolume = [this](TZipCommon&, std::string& VolumeName, const std::string& Volume, bool Exists,
                            bool& Cancel) {
        if (OnNextVolume) OnNextVolume(*this, VolumeName, Volume, Exists, Cancel);
    };
    r.OnActivate = OnActivate;
    r.OnBegin = OnBegin;
    r.OnDeactivate = OnDeactivate;
    r.OnError = OnError;
    r.OnGetPassword = OnGetPassword;
    r.OnGetZipFirstDisk = OnGetZipFirstDisk;
    r.OnGetZipLastDisk = OnGetZipLastDisk;
    r.OnGetZipNextDisk = OnGetZipNextDisk;
    r.OnProgress = OnProgress;
    r.OnCorruptZipHeader = OnCorruptZipHeader;
    r.OnChangeArchive = OnChangeArchive;
    r.OnNestedTarFile = OnNestedTarFile;
    r.OnFileExists = TUnBase::OnFileExists;
    // Cancelling the tester cancels the reader.
    r.DriveCancelFrom(*this);

    r.ExtractNoOutput();
    Failed = std::max(Failed, r.FilesFailed);

    // A gzip-wrapped tar went on in the tar.
    if (r.ArcType() != ArcType()) MoveToArchive(r.FileName, r.ArcType());
    Passwords = r.Passwords;
    stopTimer();
}
