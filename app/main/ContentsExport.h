// The contents list of the open archive as text lines: the fixed-width listing that the text
// file, the HTML file and the printout share, and the CSV file of the list's visible columns.
// Lines are built here; saving them replaces the target file only once the whole text is
// written.
#pragma once

#include "app/main/ArchiveColumns.h"

#include <QString>
#include <QStringList>
#include <vector>

class TArchiveModel;

// What the exports say of the archive itself.
struct TContentsHeader {
    QString ArchivePath;
    QString FileDate; // the archive file's date and time as text
};

// The listing's separator and column header lines.
extern const QString ContentsRule;
extern const QString ContentsHeading;

// The name column: 31 characters (a longer name keeps 28 and ends with "...") and a blank.
QString FixedWidthName(const QString& Caption);
// One row of the fixed-width listing: name, date, unpacked and packed sizes, ratio.
QString FixedWidthRow(const TArchiveModel& Model, int Row);

QStringList ContentsTextLines(const TArchiveModel& Model, const TContentsHeader& Header);
// Columns: the list's visible columns, left to right as they are shown.
QStringList ContentsCsvLines(const TArchiveModel& Model, const std::vector<TArchiveColumn>& Columns);
QStringList ContentsHtmlLines(const TArchiveModel& Model, const TContentsHeader& Header);

// The archive file's modification date and time as the exports show it.
QString ArchiveFileDateText(const QString& ArchivePath);

// Writes Lines, each ended by a line feed, as UTF-8 into a sibling temporary file and renames
// it onto FileName (whose permissions it keeps); false with the reason in Error when the file
// could not be written, FileName then being as it was.
bool SaveContentsLines(const QString& FileName, const QStringList& Lines, QString& Error);
