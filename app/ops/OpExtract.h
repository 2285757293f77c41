// Extraction: every entry of an archive, or the entries a caller selects (the window's
// selection, the view command's private folder, a drag), into a folder.
#pragma once

#include "app/ops/OpObserver.h"
#include "app/ops/OpResult.h"

#include <QString>
#include <string>
#include <vector>

struct TExtractOptions {
    QString Archive;
    QString Folder; // made when missing
    bool UseStoredDirs = true;
    bool CreateStoredDirs = true;
    bool RestoreFileAttr = true;
    bool UseFileDate = true;
    bool ConfirmOverwrites = true;
    // Without ConfirmOverwrites: an existing file is kept and its entry passed over (else it is
    // replaced).
    bool KeepExisting = false;
    // The masks of the entries; every entry by default.
    std::vector<std::string> FileSpec = {"*.*"};
    bool RecurseDirs = true;
};

// Why an extraction did not start (TOpResult::Started false).
enum class TExtractRefusal { None, NoFolder, Unsupported };

struct TExtractResult : TOpResult {
    TExtractRefusal Refusal = TExtractRefusal::None;
    // A folder that could not be made: its path and the system's reason, a line each.
    QString RefusalDetail;
};

// Extracts by Options. A cancelled run, or one that wrote nothing, leaves no folder behind
// that it made and left empty.
TExtractResult Extract(const TExtractOptions& Options, TOpObserver& Observer);
// The message of a refused start.
QString RefusalText(TExtractRefusal Refusal);
