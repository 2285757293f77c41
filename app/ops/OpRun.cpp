#include "app/ops/OpRun.h"

#include "app/common/Prompter.h"
#include "app/common/QtStrings.h"
#include "engine/core/krvCompBase.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvUnBase.h"
#include "engine/formats/zip/krvZip.h"
#include "engine/read/krvZipCheck.h"

#include <QFileInfo>
#include <algorithm>
#include <cstdlib>
#include <cxxabi.h>
#include <functional>
#include <map>
#include <memory>
#include <typeinfo>

namespace {

// The class of an engine component as the log names it (TUnZip, TLha ...).
QString ClassName(const TZipCommon& Component) {
    const char* mangled = typeid(Component).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                std::free);
    return QString::fromLatin1(status == 0 && name ? name.get() : mangled);
}

// Which of several errors of one entry names its failure: the most specific.
int Rank(TOpCause Cause) {
    switch (Cause) {
    case TOpCause::Unsupported:
        return 0;
    case TOpCause::WrongPassword:
        return 1;
    case TOpCause::OutputBlocked:
    case TOpCause::SourceUnreadable:
        return 2;
    case TOpCause::DiskFull:
        return 3;
    case TOpCause::NameRefused:
        return 4;
    case TOpCause::Crc:
        return 5;
    default:
        return 6;
    }
}

} // namespace

QStringList ErrorLogLines(const TZipCommon& Sender, const std::string& FileName,
                          const std::string& ExtendedMsg, int ECode) {
    return {QStringLiteral(":: ERROR - ") + ClassName(Sender).toUpper() + QStringLiteral(" ::"),
            QStringLiteral("Archive  : ") + Str(Sender.ArchiveFile()),
            QStringLiteral("Filename : ") + QFileInfo(Str(FileName)).fileName(),
            QStringLiteral("Error No : ") + QString::number(ECode),
            QStringLiteral("Message  : ") + QString::fromLatin1(ErrorText(ECode)),
            QStringLiteral("Details  : ") + Str(ExtendedMsg),
            QString(),
            QString()};
}

void TOpRun::Error(TZipCommon& Sender, const std::string& FileName, const std::string& ExtendedMsg,
                   int ECode) {
    ++FErrors;
    const auto* writer = dynamic_cast<const TCompBase*>(&Sender);
    const TOpCause cause = CauseOf(ECode, writer && writer->IsGatheredSource(FileName));
    if (cause == TOpCause::Cancelled) {
        FResult.Cancelled = true;
    } else {
        if (ECode == ecInvalidPassword) FObserver.PasswordRejected(Str(FileName));
        FPending.push_back({{FileName, cause, ECode, ExtendedMsg}, FStretch});
    }
    for (const QString& line : ErrorLogLines(Sender, FileName, ExtendedMsg, ECode))
        FObserver.Log(line);
}

namespace {

// Whether an error's name and a verdict's name are one entry: the same name, or the stored name
// and the path it was extracted to.
bool SameEntry(const std::string& A, const std::string& B) {
    if (A == B) return true;
    const std::string& longer = A.size() > B.size() ? A : B;
    const std::string& shorter = A.size() > B.size() ? B : A;
    return !shorter.empty() && longer.size() > shorter.size() &&
           longer[longer.size() - shorter.size() - 1] == '/' &&
           longer.compare(longer.size() - shorter.size(), shorter.size(), shorter) == 0;
}

// The error that names an entry's failure among several: the most specific.
const TOpFailure& Named(const std::vector<const TOpFailure*>& Errors) {
    const TOpFailure* named = Errors.front();
    for (const TOpFailure* failure : Errors)
        if (Rank(failure->Cause) < Rank(named->Cause)) named = failure;
    return *named;
}

} // namespace

void TOpRun::NextStretch(bool Begun) {
    ++FStretch;
    FOpen = Begun;
}

void TOpRun::EntryBegun(const std::string& FileName) {
    // Errors of entries that never reached a verdict are counted before the next begins; only
    // an entry begun again (a retry) keeps the errors of its earlier attempt.
    Flush(FileName);
    NextStretch(true);
    for (TPending& pending : FPending)
        pending.Stretch = FStretch;
    FBegun = FileName;
}

bool TOpRun::HasPending(const std::string& FileName) const {
    return std::any_of(FPending.begin(), FPending.end(), [this, &FileName](const TPending& P) {
        return P.Stretch == FStretch && SameEntry(P.Failure.Entry, FileName);
    });
}

bool TOpRun::StretchHasErrors() const {
    return std::any_of(FPending.begin(), FPending.end(),
                       [this](const TPending& P) { return P.Stretch == FStretch; });
}

void TOpRun::EntryEnd(const std::string& FileName, bool Passed) {
    // The errors of this entry (its earlier attempts included) are decided by its verdict; the
    // errors of other entries, and those reported before this entry's stretch, stay pending.
    std::vector<const TPending*> own;
    const auto take = [this, &own](const std::function<bool(const TOpFailure&)>& Belongs) {
        for (const TPending& pending : FPending)
            if (pending.Stretch == FStretch && Belongs(pending.Failure)) own.push_back(&pending);
    };
    take([&FileName](const TOpFailure& F) { return F.Entry == FileName; });
    // A failed entry may have been named by its stored name or its output path (a passed one
    // takes only its own name's errors: b.txt's failure is not sub/b.txt's earlier attempt).
    if (own.empty() && !Passed)
        take([&FileName](const TOpFailure& F) { return SameEntry(F.Entry, FileName); });
    // A failed entry that began and ended without an error under its name owns the errors
    // reported since its begin.
    if (own.empty() && !Passed && FileName == FBegun && FOpen) take([](const TOpFailure&) { return true; });
    if (Passed) {
        ++FResult.Done;
        // Folder entries end without a begin of their own: an entry that began under this name
        // made a file, and its end needs no look at the disk.
        if (TrackFolders && FileName != FBegun && QFileInfo(Str(FileName)).isDir())
            FMadeFolders.push_back(FileName);
    } else if (FResult.Cancelled) {
        // An entry cut short by a cancel is no failure of its own.
    } else if (own.empty()) {
        FResult.Fail(FileName, TOpCause::Crc, ecFileFailsCRCCheck);
    } else {
        std::vector<const TOpFailure*> failures;
        for (const TPending* pending : own)
            failures.push_back(&pending->Failure);
        const TOpFailure& named = Named(failures);
        FResult.Fail(FileName, named.Cause, named.ECode, named.Detail);
    }
    std::erase_if(FPending, [&own](const TPending& P) {
        return std::any_of(own.begin(), own.end(), [&P](const TPending* O) { return O == &P; });
    });
    NextStretch(false);
}

void TOpRun::Flush(const std::string& Except) {
    // Each entry that had errors and no verdict is counted once, under its most specific cause,
    // in the order of its first error; errors of one name from different stretches are
    // different entries.
    std::vector<TPending> kept;
    std::vector<std::pair<std::string, int>> order;
    std::map<std::pair<std::string, int>, const TOpFailure*> named;
    for (const TPending& pending : FPending) {
        const TOpFailure& failure = pending.Failure;
        if (!failure.Entry.empty() && failure.Entry == Except && pending.Stretch == FStretch && FOpen &&
            FBegun == Except) {
            kept.push_back(pending);
            continue;
        }
        // Errors without an entry's name are the run's, counted once whenever they came.
        const std::pair<std::string, int> key(failure.Entry, failure.Entry.empty() ? 0 : pending.Stretch);
        const auto [at, fresh] = named.try_emplace(key, &failure);
        if (fresh)
            order.push_back(key);
        else if (Rank(failure.Cause) < Rank(at->second->Cause))
            at->second = &failure;
    }
    if (!FResult.Cancelled)
        for (const auto& key : order) {
            const TOpFailure& failure = *named[key];
            FResult.Fail(key.first, failure.Cause, failure.ECode, failure.Detail);
        }
    FPending = std::move(kept);
}

void TOpRun::Finish(int EngineFailed) {
    Flush();
    // Entries the engine gave up on without an error or a verdict still failed.
    if (!FResult.Cancelled)
        for (int missing = EngineFailed - FResult.Failed - FResult.Refused; missing > 0; --missing)
            FResult.Fail({}, TOpCause::Other, ecUnknownError);
}

void TOpRun::BindCommon(TZipCommon& Component) {
    Component.OnError = [this](TZipCommon& Sender, const std::string& FileName,
                               const std::string& ExtendedMsg, const std::string&,
                               int ECode) { Error(Sender, FileName, ExtendedMsg, ECode); };
    Component.OnWarning = [this](TZipCommon&, const std::string& FileName, const std::string& Text) {
        FObserver.Log(Str(FileName) + QStringLiteral(": ") + Str(Text));
    };
    Component.OnProgress = [this](TZipCommon& Sender, std::uint8_t ByFile, std::uint8_t ByArchive) {
        if (FObserver.Progress(ByFile, ByArchive)) {
            FResult.Cancelled = true;
            Sender.SetCancel(true);
        }
    };
    Component.OnGetPassword = [this](TZipCommon& Sender, const std::string& FileName, std::string& Password,
                                     bool& TryAgain) {
        if (FObserver.AskPassword(Str(FileName), Password)) return;
        // Cancel in the password box ends the run as a cancel, not as a wrong password.
        TryAgain = false;
        FResult.Cancelled = true;
        Sender.SetCancel(true);
    };
    Component.OnNextVolume = [this](TZipCommon& Sender, std::string& VolumeName, const std::string& VolumeID,
                                    bool Exists, bool& Cancel) {
        Cancel = false;
        if (Exists) return;
        if (FObserver.AskNextVolume(VolumeName, VolumeID)) return;
        Cancel = true;
        FResult.Cancelled = true;
        Sender.SetCancel(true);
    };
    Component.OnCorruptZipHeader = [this](TZipCommon& Sender, THeaderTypeState HeadFlag, bool& Cancel) {
        if (HeadFlag & (htCentral | htEnding)) return;
        if (FObserver.AskCorruptHeader())
            Cancel = false;
        else
            Sender.SetCancel(true);
    };
    Component.OnGetZipFirstDisk = [this](TZipCommon&, bool& Cancel) {
        if (FObserver.AskDisk(QStringLiteral("Please insert the FIRST disk of this archive set.")))
            Cancel = false;
    };
    Component.OnGetZipLastDisk = [this](TZipCommon&, bool& Cancel) {
        if (FObserver.AskDisk(QStringLiteral("Please insert the LAST disk of this archive set.")))
            Cancel = false;
    };
    Component.OnGetZipNextDisk = [this](TZipCommon&, const std::string& VolumeName, bool& Cancel) {
        if (FObserver.AskDisk(QStringLiteral("Please insert disk number ") + Str(VolumeName))) Cancel = false;
    };
    Component.OnNestedTarFile = [this](TZipCommon&, const std::string& FileName, bool& doUnTar) {
        if (FObserver.AskNestedTar(Str(FileName), false)) doUnTar = true;
    };
}

void TOpRun::BindReader(TUnBase& Reader, const QString& StatusPrefix) {
    BindCommon(Reader);
    Reader.OnBegin = [this, StatusPrefix](TZipCommon&, const std::string& FileName, int, bool&) {
        EntryBegun(FileName);
        FObserver.Status(StatusPrefix, Str(FileName));
    };
    Reader.OnEnd = [this](TZipCommon& Sender, const std::string& FileName, bool CrcPass) {
        // A verdict with no error of its own is a checksum that did not match.
        if (!CrcPass && !HasPending(FileName) && !(FileName == FBegun && FOpen && StretchHasErrors()) &&
            !FResult.Cancelled && !Sender.Cancel())
            Error(Sender, FileName, "0", ecFileFailsCRCCheck);
        EntryEnd(FileName, CrcPass);
    };
    Reader.OnFileExists = [this](TZipCommon& Sender, const std::string& FileName, std::string& NewFileName,
                                 TOverwriteMode& OverwriteMode) {
        auto& reader = static_cast<TUnBase&>(Sender);
        QString newName;
        OverwriteMode = omSkip;
        switch (FObserver.AskOverwrite(Str(FileName), Sender.UnpackedSize, Sender.FileDate, newName)) {
        case TOverwriteAnswer::Yes:
            OverwriteMode = omOverwrite;
            break;
        case TOverwriteAnswer::YesToAll:
            OverwriteMode = omOverwrite;
            reader.ConfirmOverwrites = false;
            break;
        case TOverwriteAnswer::NoToAll:
            reader.ConfirmOverwrites = false;
            ++FResult.Skipped;
            break;
        case TOverwriteAnswer::Rename:
            NewFileName = newName.toStdString();
            OverwriteMode = omOverwrite;
            break;
        case TOverwriteAnswer::Cancel:
            // Cancel leaves this file as it is and ends the run.
            NewFileName = FileName;
            FResult.Cancelled = true;
            Sender.SetCancel(true);
            break;
        case TOverwriteAnswer::No:
            ++FResult.Skipped;
            break;
        }
    };
}

void TOpRun::BindTester(TZipCheck& Tester) {
    BindCommon(Tester);
    Tester.OnActivate = [this, &Tester](TZipCommon&) {
        FObserver.Log(QStringLiteral(":: Testing Archive: ") + Str(Tester.ArchiveFile()));
    };
    Tester.OnBegin = [this](TZipCommon&, const std::string& FileName, int, bool&) {
        EntryBegun(FileName);
        FObserver.Status(QStringLiteral("Verifying:  "), Str(FileName));
    };
    // Each entry's verdict is a line of the log; the observers stream it, they keep no line
    // per entry. A pass is a progress line, a failure an error line.
    Tester.OnStatus = [this](TZipCommon&, const std::string& FileName, bool PassFail) {
        if (!FResult.Cancelled) {
            const QString line = QStringLiteral("> Testing: ") + Str(FileName);
            if (PassFail)
                FObserver.LogProgress(line + QStringLiteral(" ... Passed"));
            else
                FObserver.Log(line + QStringLiteral(" ... Failed"));
        }
        EntryEnd(FileName, PassFail);
    };
    Tester.OnEnd = [](TZipCommon&, const std::string&) {};
    Tester.OnCorruptZipHeader = [this](TZipCommon&, THeaderTypeState HeadFlag, bool& Cancel) {
        if (!(HeadFlag & htLocal))
            FObserver.Log(QStringLiteral("> HEADER ERROR: Local header missing or corrupted."));
        if (!((HeadFlag & htCentral) && (HeadFlag & htEnding)))
            FObserver.Log(QStringLiteral("> HEADER ERROR: Missing or corrupted."));
        FObserver.Log(QStringLiteral(">"));
        // A damaged directory the tester already reported as an error is counted with that
        // error, not a second time here.
        const auto headerError = [](const TOpFailure& F) { return F.ECode == ecHeaderNotFound; };
        if (std::none_of(FPending.begin(), FPending.end(),
                         [&headerError](const TPending& P) { return headerError(P.Failure); }) &&
            std::none_of(FResult.Failures.begin(), FResult.Failures.end(), headerError))
            FResult.Fail({}, TOpCause::Other, ecHeaderNotFound);
        Cancel = false;
    };
    Tester.OnNestedTarFile = [this](TZipCommon&, const std::string& FileName, bool& doUnTar) {
        if (FObserver.AskNestedTar(Str(FileName), true)) doUnTar = true;
    };
    // The test went on in the tar inside a tar.gz: the tester takes its name.
    Tester.OnChangeArchive = [&Tester](TZipCommon&, const std::string& ArchiveName, TArcType ArcType) {
        Tester.MoveToArchive(ArchiveName, ArcType);
    };
}

void TOpRun::BindWriter(TCompBase& Writer) {
    BindCommon(Writer);
    Writer.OnActivate = [this](TZipCommon&) { FObserver.Started(); };
    Writer.OnDeactivate = [this](TZipCommon&) { FObserver.Finished(); };
    Writer.OnBegin = [this](TZipCommon& Sender, const std::string& FileName, int, bool&) {
        FObserver.Status(static_cast<TCompBase&>(Sender).Switch == swDelete ? QStringLiteral("Deleting: ")
                                                                            : QStringLiteral("Compressing: "),
                         Str(FileName));
    };
    Writer.OnDeleteFile = [this](TZipCommon&, const std::string& FileName, int, int) {
        FObserver.Status(QStringLiteral("Deleting: "), Str(FileName));
    };
    Writer.OnEnd = [](TZipCommon&, const std::string&, bool) {};
    Writer.OnRecurseDir = [this](TZipCommon&, const std::string& Directory) {
        FObserver.Status(QStringLiteral("Scanning Directory: "), Str(Directory));
    };
    Writer.OnFileScanStatus = [this](TZipCommon&, const std::string& FileName, int Count, double) {
        FObserver.Status(QString::number(Count) + QLatin1Char(' '), Str(FileName));
    };
    Writer.OnReplaceFile = [this](TZipCommon&, const std::string& FileName, const std::string& NewFileName,
                                  TDateTime Date, TDateTime NewDate, std::int64_t FileSize,
                                  std::int64_t NewFileSize, int, int, bool& Replace) {
        if (FReplaceAll != 0) {
            Replace = FReplaceAll > 0;
            return;
        }
        switch (FObserver.AskReplace(FileName, NewFileName, Date, NewDate, FileSize, NewFileSize)) {
        case TReplaceAnswer::Yes:
            Replace = true;
            break;
        case TReplaceAnswer::YesToAll:
            Replace = true;
            FReplaceAll = 1;
            break;
        case TReplaceAnswer::NoToAll:
            Replace = false;
            FReplaceAll = -1;
            break;
        case TReplaceAnswer::No:
            Replace = false;
            break;
        }
    };
    Writer.OnRenameDupeFile = [this](TZipCommon&, const std::string& FileName, std::string& NewFileName,
                                     bool& Rename) {
        Rename = false;
        if (FSkipAllDupes) return;
        switch (FObserver.AskRenameDupe(FileName, NewFileName)) {
        case TDupeAnswer::Rename:
            Rename = true;
            break;
        case TDupeAnswer::SkipAll:
            FSkipAllDupes = true;
            break;
        case TDupeAnswer::Skip:
            break;
        }
    };
    Writer.OnNonWriteableArchive = [this](TZipCommon&, const std::string& FileName, bool& Write) {
        Write = FObserver.AskWriteProtectedArchive(FileName);
    };
    Writer.OnInsertDisk = [this](TZipCommon& Sender, const std::string& VolumeName, bool& Cancel) {
        Cancel = !FObserver.AskInsertDisk(VolumeName, AllowSpanning);
        if (Cancel) {
            FResult.Cancelled = true;
            Sender.SetCancel(true);
        }
    };
    Writer.OnDiskInDrvErr = [this](TZipCommon&, bool& Cancel) { Cancel = !FObserver.AskDiskError(false); };
    Writer.OnDiskWriteProtectErr = [this](TZipCommon&, bool& Cancel) {
        Cancel = !FObserver.AskDiskError(true);
    };
    Writer.OnWaitArchive = [this](TZipCommon&, const std::string& ArchiveFile) {
        const QString text = QStringLiteral("Waiting for another update of the archive to end: ");
        FObserver.Status(text, Str(ArchiveFile));
        FObserver.Log(text + Str(ArchiveFile));
    };
    Writer.OnRemovedTemporary = [this](TZipCommon&, const std::string& Path) {
        FObserver.Log(QStringLiteral("Removed a temporary file left by an update that did not end: ") +
                      Str(Path));
    };
    if (auto* zip = dynamic_cast<TZip*>(&Writer)) {
        // A disk of a spanned set that holds a file of the archive's name: overwritten only
        // when the user says so.
        zip->OnDiskSpanFileExists = [this](TZipCommon& Sender, const std::string& FileName, TDateTime,
                                           TOverwriteMode& OverwriteMode) {
            OverwriteMode = omSkip;
            switch (FObserver.AskOutputExists(FileName)) {
            case mrYes:
            case mrIgnore:
                OverwriteMode = omOverwrite;
                break;
            default:
                FResult.Cancelled = true;
                Sender.SetCancel(true);
                break;
            }
        };
        zip->OnClearDisk = [this](TZipCommon&, const std::string& Drive, std::int64_t RequiredSpace,
                                  std::int64_t FreeSpace, std::int64_t TotalSpace, bool& Cancel) {
            Cancel = !FObserver.AskClearDisk(Drive, RequiredSpace, FreeSpace, TotalSpace);
        };
    }
    Writer.TZipCommon::OnFileExists = [this](TZipCommon& Sender, const std::string& FileName, TDateTime,
                                             TOverwriteMode& OverwriteMode) {
        switch (FObserver.AskOutputExists(FileName)) {
        case mrCancel:
            OverwriteMode = omSkip;
            FResult.Cancelled = true;
            Sender.SetCancel(true);
            break;
        case mrIgnore:
            Sender.ConfirmOverwrites = false;
            break;
        case mrYes:
            OverwriteMode = omOverwrite;
            break;
        default:
            OverwriteMode = omSkip;
            break;
        }
    };
}
