// Self-extractors: a program made of an archive (a stub of its type followed by the archive),
// and of files, zipped first into a private folder. An old program of the name is replaced
// only by a complete new one.
#pragma once

#include "app/ops/OpAdd.h"
#include "app/ops/OpObserver.h"
#include "app/ops/OpResult.h"

#include <QString>
#include <QStringList>

struct TMakeSfxOptions {
    QString Archive;
    QString Target; // the program to make
    // An existing Target was agreed to; otherwise the observer is asked.
    bool ReplaceConfirmed = false;
};

struct TMakeSfxResult : TOpResult {
    QString Target;
    bool Made = false;    // the program was written whole
    bool Skipped = false; // an existing program was kept, as the answer asked
    // The files were zipped first: what that add did (NothingPacked when none went in).
    TAddResult Packing;
    bool NothingPacked = false;
    bool NoTempFolder = false;
};

TMakeSfxResult MakeSfx(const TMakeSfxOptions& Options, TOpObserver& Observer);

struct TMakeSfxFromFilesOptions {
    QString Name;      // the program is Name with ".exe", the zip inside it Name's file name
    QStringList Files; // files, or folders standing for their trees
    TStoredDirNames StoredDirNames = sdExplorer_Auto;
};

// An existing program is asked about (through the observer) before anything is zipped.
TMakeSfxResult MakeSfxFromFiles(const TMakeSfxFromFilesOptions& Options, TOpObserver& Observer);

// The question about an existing program; the message of a failure; the message of success.
QString SfxReplaceQuestion(const QString& Target);
QString SfxFailureText(const TOpFailure& Failure);
QString SfxMadeText(const QString& Target);
