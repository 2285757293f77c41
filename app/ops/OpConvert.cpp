#include "app/ops/OpConvert.h"

#include "app/common/QtStrings.h"
#include "app/ops/OpRun.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/write/krvArc2Arc.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString Absolute(const QString& Name) {
    return QFileInfo(Name).absoluteFilePath();
}

bool SameFile(const QString& A, const QString& B) {
    return A == B ||
           (QFileInfo::exists(A) && QFileInfo(A).canonicalFilePath() == QFileInfo(B).canonicalFilePath());
}

} // namespace

QString ConvertTarget(const TConvertOptions& Options) {
    return Str(TArc2Arc::OutputNameOf(Absolute(Options.Output).toStdString(), Options.Type));
}

TConvertResult Convert(const TConvertOptions& Options, TOpObserver& Observer) {
    TConvertResult result;
    const QString input = Absolute(Options.Input);
    result.Target = ConvertTarget(Options);
    // A name that reaches the input is refused before anything is written or deleted.
    if (SameFile(input, result.Target)) {
        result.Refusal = TConvertRefusal::SameFile;
        return result;
    }
    TArc2Arc converter;
    result.Input = input;
    TOpRun run(Observer, result);
    run.BindCommon(converter);
    // The input's entries go by their names in it, not by the files of the private folder they
    // are extracted to.
    const auto entry = [&converter](const std::string& File) { return converter.EntryName(File); };
    converter.OnError = [bound = converter.OnError, entry](TZipCommon& Sender, const std::string& FileName,
                                                           const std::string& Message,
                                                           const std::string& Volume, int ECode) {
        bound(Sender, entry(FileName), Message, Volume, ECode);
    };
    converter.OnNestedTarFile = [&Observer, &input, entry](TZipCommon&, const std::string& FileName,
                                                           bool& doUnTar) {
        if (Observer.AskNestedTar(Str(entry(FileName)) + QStringLiteral(" in ") + input, false))
            doUnTar = true;
    };
    // The caller has asked about an existing output.
    converter.OnFileExists = [](TZipCommon&, const std::string&, TOverwriteMode& OverwriteMode) {
        OverwriteMode = omOverwrite;
    };
    int tested = 0;
    bool testFailed = false;
    const auto stage = [&Observer](const QString& Status, const QString& Line) {
        Observer.Status(Status, QString());
        Observer.LogProgress(Line);
    };
    converter.OnExtractActivate = [&](TZipCommon& Sender) {
        stage(QStringLiteral("Extracting current archive ..."),
              QStringLiteral(":: Current Archive: ") + Str(Sender.ArchiveFile()));
    };
    converter.OnExtractBegin = [&](TZipCommon&, const std::string& FileName, int Count, bool&) {
        const std::string name = entry(FileName);
        run.EntryBegun(name);
        Observer.Status(QStringLiteral("Extracting: "), Str(name));
        Observer.LogProgress(QStringLiteral("> (%1) Extracting: ").arg(Count) + Str(name));
    };
    // Each entry counted once, under the cause of its own errors.
    converter.OnExtractEnd = [&](TZipCommon&, const std::string& FileName, bool CrcPass) {
        run.EntryEnded(entry(FileName), CrcPass);
    };
    converter.OnExtractDeactivate = [&Observer](TZipCommon&) {
        Observer.LogProgress(QStringLiteral("> Extraction Completed."));
    };
    converter.OnCompressActivate = [&](TZipCommon&) {
        stage(QStringLiteral("Compressing the new archive ..."),
              QStringLiteral(":: New Archive: ") + Str(converter.NewArchive));
    };
    converter.OnCompressBegin = [&Observer](TZipCommon&, const std::string& FileName, int Count, bool&) {
        Observer.Status(QStringLiteral("Compressing: "), Str(FileName));
        Observer.LogProgress(QStringLiteral("> (%1) Compressing: ").arg(Count) + Str(FileName));
    };
    converter.OnCompressDeactivate = [&Observer](TZipCommon&) {
        Observer.LogProgress(QStringLiteral("> Compression Completed."));
    };
    converter.OnIntegrityActivate = [&](TZipCommon&) {
        tested = 0;
        stage(QStringLiteral("Checking integrity of converted archive ..."),
              QStringLiteral(":: Checking Integrity: ") + Str(converter.NewArchive));
    };
    converter.OnIntegrityBegin = [&Observer](TZipCommon&, const std::string& FileName, int, bool&) {
        Observer.Status(QStringLiteral("Verifying: "), Str(FileName));
    };
    converter.OnIntegrityStatus = [&](TZipCommon&, const std::string& FileName, bool PassFail) {
        if (!PassFail) {
            testFailed = true;
            result.Fail(FileName, TOpCause::Crc, ecFileFailsCRCCheck);
        }
        const QString line = QStringLiteral("> (%1) ").arg(++tested) + QStringLiteral("Testing: ") +
                             Str(FileName) +
                             (PassFail ? QStringLiteral(" ... Passed") : QStringLiteral(" ... Failed"));
        if (PassFail)
            Observer.LogProgress(line);
        else
            Observer.Log(line);
    };
    converter.OnIntegrityDeactivate = [&Observer](TZipCommon&) {
        Observer.LogProgress(QStringLiteral("> Integrity Check Completed."));
    };
    converter.OnRemoveTempfile = [&Observer](TZipCommon&, const std::string& FileName) {
        Observer.Status(QStringLiteral("Removing: "), Str(FileName));
        Observer.LogProgress(QStringLiteral("> Removing: ") + Str(FileName));
    };
    converter.SetArchiveFile(input.toStdString());
    converter.NewArchive = Absolute(Options.Output).toStdString();
    converter.OutArcType = Options.Type;
    converter.OutArcMethod = amCreateNew;
    // The original goes only after its copy was read back whole, so a deletion asks for the test.
    converter.IntegrityCheck = (Options.Verify || Options.DeleteOriginal) && Options.Type != tyCab;
    converter.DateAttribute = daFileDate;
    result.Started = true;
    Observer.Started();
    const bool activated = converter.Activate();
    Observer.Finished();
    run.Finish();
    if (converter.Cancel()) result.Cancelled = true;
    result.Converted = activated && !testFailed && result.Failed == 0 && !result.Cancelled &&
                       QFileInfo::exists(result.Target);
    if (Options.DeleteOriginal && result.Converted) {
        result.OriginalDeleted = QFile::remove(input);
        result.DeleteFailed = !result.OriginalDeleted;
    }
    return result;
}

QString ConvertRefusalText(TConvertRefusal Refusal) {
    if (Refusal == TConvertRefusal::SameFile)
        return QStringLiteral("Please select a different output file format. Your current\r\noutput file "
                              "seems to be the same as your input file.");
    return {};
}

QString ConvertDeleteFailedText() {
    return QStringLiteral("Deletion failed. The input file may be missing or read-only.");
}

QString ConvertEndText(bool Converted) {
    return Converted ? QStringLiteral("Archive conversion successfully completed.")
                     : QStringLiteral("Archive conversion aborted.");
}

QString ConvertFailureText(const TOpFailure& Failure, const QString& Input) {
    // An entry of the input (named by its path in it) says which archive it is of.
    const QString archive = !Failure.Entry.empty() && !Failure.Entry.starts_with('/') && !Input.isEmpty()
                                ? QStringLiteral("\r\rArchive: ") + Input
                                : QString();
    // An entry whose data did not match its checksum, with no error of the engine's.
    if (Failure.ECode == ecFileFailsCRCCheck && Failure.Detail.empty())
        return Str(Failure.Entry) + QStringLiteral("\rExtract failed CRC check.") + archive;
    return QStringLiteral("Error converting archive.\rFilename: ") + Str(Failure.Entry) + "\r" +
           QStringLiteral("Error #: ") + QString::number(Failure.ECode) + "\r" + QStringLiteral("Error: ") +
           QString::fromLatin1(ErrorText(Failure.ECode)) + "\r\r" + QStringLiteral("Detailed: ") +
           Str(Failure.Detail) + archive;
}
