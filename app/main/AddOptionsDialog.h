// The add-options save dialog: the name and type of a new archive for files that come from
// outside the window (dropped on it, or named on the command line), with the option panel
// fmAddOptionsBottom docked under it. Choosing another type makes that type's writer the
// current one, and the panel offers the password and the compression only where that writer
// takes them.
#pragma once

#include "engine/core/krvCompBase.h"
#include "engine/write/krvWriters.h"

#include <QString>
#include <functional>

class QWidget;
class TfmAddOptionsBottom;

// What the user chose in the dialog and its panel.
struct TAddOptionsChoice {
    QString ArchiveName;
    int Compression = 0; // 0 Maximum .. 3 None
    bool SaveFullPath = false;
    TSwitch Switch = swAdd;
    bool AllowSpanning = true;
    QString Password; // the password the panel offered, for a type that takes one
};

class TLmCustomOpenDialog;

// A save dialog that names an archive to write takes a file that another program holds open or
// locked: the update waits for another update of the archive itself, and replaces the file
// only once the new archive is whole.
void TakeArchivesInUse(TLmCustomOpenDialog& Dialog);

// Makes the writer of a type the current one and gives it; nullptr when there is none.
using TWriterMaker = std::function<TCompBase*(TOutArcType Type)>;

// The panel follows the writer of the type at FilterIndex (1 bh .. 7 zip).
void AddOptionsTypeChange(TfmAddOptionsBottom& Panel, const TWriterMaker& WriterFor, int FilterIndex);

// Shows the dialog with FileName offered (its extension dropped), the type at FilterIndex and
// the panel reset (Add files, Maximum, Automatic, full paths as SaveFullPath says); false when
// the user cancels.
bool ShowAddOptions(QWidget* Owner, TfmAddOptionsBottom& Panel, const TWriterMaker& WriterFor,
                    const QString& FileName, int FilterIndex, bool SaveFullPath, TAddOptionsChoice& Choice);
