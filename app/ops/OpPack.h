// Files zipped into a private temporary folder, for the operations that hand on a zip: mail
// and the self-extractor made of files.
#pragma once

#include "app/ops/OpAdd.h"
#include "app/ops/RunFolder.h"

#include <QString>
#include <QStringList>

// Files zipped as the file name of Name into Folder; Written tells whether the zip is there
// (its path in ArchiveName) with at least one file in it.
TAddResult PackIntoFolder(const TRunFolder& Folder, const QString& Name, const QStringList& Files,
                          TStoredDirNames StoredDirNames, TOpObserver& Observer);
// The message when nothing could be packed (no folder, no file, a cancel ...).
QString PackFailureText(const TAddResult& Result, bool NoFolder);
