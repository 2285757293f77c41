// The archive converter: extracts every entry of ArchiveFile into a private temporary folder
// with the reader of its type, writes that folder into NewArchive with the writer of
// OutArcType, optionally tests the result with the integrity tester, and always removes its
// temporary files. A new archive replaces an existing output only once it was written (and,
// when asked, tested) whole; the input is never changed.
#pragma once

#include "engine/core/krvTempEntries.h"
#include "engine/core/krvZipCommon.h"
#include "engine/read/krvZipCheck.h"
#include "engine/write/krvWriters.h"

#include <functional>
#include <string>

enum TOutArcMethod : std::uint8_t { amCreateNew, amAddToArc };

class TArc2Arc;
// An existing output: the answer omSkip ends the run.
using TOnConvertFileExists =
    std::function<void(TZipCommon& Sender, const std::string& FileName, TOverwriteMode& OverwriteMode)>;

class TArc2Arc : public TZipCommon {
public:
    TArc2Arc();

    std::string NewArchive;
    TOutArcType OutArcType = tyZip;
    TOutArcMethod OutArcMethod = amCreateNew;
    bool IntegrityCheck = true;

    TNotifyEvent OnExtractActivate, OnExtractDeactivate;
    TOnBegin OnExtractBegin;
    TOnEnd OnExtractEnd;
    TNotifyEvent OnCompressActivate, OnCompressDeactivate;
    TOnBegin OnCompressBegin;
    TOnEnd OnCompressEnd;
    TNotifyEvent OnIntegrityActivate, OnIntegrityDeactivate;
    TOnBegin OnIntegrityBegin;
    TOnIntegrityEnd OnIntegrityEnd;
    TOnIntegrityStatus OnIntegrityStatus;
    // The converter's own question, without the file's date.
    TOnConvertFileExists OnFileExists;

    // Runs one conversion. True when NewArchive was written (and tested, when asked).
    bool Activate();

    // The archive a conversion writes: NewArchive; for tyTarGzip the gzip file, NewArchive when
    // it ends in ".gz" (x.tgz gives x.tar.gz), else NewArchive + ".gz".
    std::string OutputName() const { return OutputNameOf(NewArchive, OutArcType); }
    static std::string OutputNameOf(const std::string& NewArchive, TOutArcType Type);
    // A file of the run's private extraction folder as the input archive names it (its path
    // below that folder); any other name as it is.
    std::string EntryName(const std::string& File) const;

private:
    bool Run();
    bool ExtractInput();
    bool CompressFolder(const std::string& Target);
    bool TestOutput(const std::string& Target);
    void RemoveTemporaries();
    // A name of the private staging folder as the user knows it: the output they chose.
    std::string UserName(const std::string& File) const;
    TOnError UserNamedErrors(int& Errors) const;

    TTempFolder FWorkDir;  // the private extraction folder
    TTempFolder FStageDir; // a private folder beside the output for a new archive
    std::string FTarget;   // the output as the user named it
};
