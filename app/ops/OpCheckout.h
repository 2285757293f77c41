// Check-out: the archive extracted into a folder of its own, with a program group of launchers
// to its files, both emptied first and removed again by the check-out clean-up. The folder
// may not be the root, the home folder, nor hold the archive; the group is only ever one in the
// applications menu's folder.
#pragma once

#include "app/ops/CheckoutFiles.h"
#include "app/ops/OpExtract.h"
#include "app/ops/OpVirusScan.h"

#include <QString>
#include <QStringList>

struct TCheckoutOptions {
    QString Archive;
    QString Folder;
    QString Group; // the group's folder in the applications menu's folder
    // The stored paths of the entries offered a launcher, in the list's order; MaxIcons of them.
    QStringList Entries;
    int MaxIcons = 0;
    // Launchers only for the files the desktop opens, and programs.
    bool OnlyOpenable = false;
    bool VirusScan = false;
    // The files of an existing Folder that its question named (relative paths): deleted first.
    // Other files in it are kept.
    QStringList Clear;
};

enum class TCheckoutRefusal { None, UnusableTarget };

struct TCheckoutResult : TOpResult {
    TCheckoutRefusal Refusal = TCheckoutRefusal::None;
    TExtractResult Extraction;
    // The files the check-out wrote, as it wrote them.
    TFolderFiles Written;
    int Launchers = 0;
    bool Scanned = false;
    TScanVerdict Verdict = TScanVerdict::NotConfigured;
    int ScanStatus = 0;
};

// True when Folder may be emptied by a check-out: not empty, no "..", not the root nor the home
// folder.
bool SafeCheckoutTarget(const QString& Folder);
// Empties Group, deletes the files of Folder that Clear names, extracts, makes the launchers
// and, when asked, scans the folder.
TCheckoutResult Checkout(const TCheckoutOptions& Options, TOpObserver& Observer);
// The check-out clean-up: the group (when it is one the check-out may make) removed, and from
// the folder (when it may be emptied) the files the check-out wrote and those its question
// named, then the folders left empty; false when the group was there and could not be removed.
bool RemoveCheckout(const QString& Folder, const QString& Group, const TFolderFiles& Written,
                    const QStringList& Named);
QString CheckoutRefusalText(TCheckoutRefusal Refusal);
