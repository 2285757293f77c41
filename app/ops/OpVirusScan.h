// The virus scan of an archive: its entries extracted into a private folder, the configured
// scanner run in that folder, the verdict by its exit status (0 clean, 1 a virus found).
#pragma once

#include "app/ops/OpExtract.h"

#include <QString>
#include <string>
#include <vector>

enum class TScanVerdict {
    NotConfigured, // no scanner set up
    NoTempFolder,
    Unsupported, // no reader for the archive
    Cancelled,
    Clean,
    Incomplete, // scanned clean, but some entries could not be extracted and were not scanned
    VirusFound,
    ScannerError, // the scanner ended with another status
    NotStarted,   // the scanner could not be started
};

struct TScanResult {
    TExtractResult Extraction;
    TScanVerdict Verdict = TScanVerdict::NotConfigured;
    int Status = 0; // the scanner's exit status
};

// The scanner's argument list for the files in Folder: the Parameters setting split into
// arguments with "*.*" standing for Folder (the scanner runs in Folder, so "." names it too),
// or every file of Folder when Parameters is empty.
std::vector<std::string> ScannerArguments(const std::string& Scanner, const std::string& Parameters,
                                          const QString& Folder);
// Runs the configured scanner over Folder; its report goes to the log.
TScanVerdict ScanFolder(const QString& Folder, TOpObserver& Observer, int& Status);
// Extracts Archive into a private folder and scans it; the folder is gone afterwards.
TScanResult VirusScan(const QString& Archive, TOpObserver& Observer);
// The scanner is set up (a product chosen and its program named).
bool VirusScannerConfigured();
// The message of a verdict (Status: the scanner's exit status).
QString ScanVerdictText(TScanVerdict Verdict, int Status);
