// Backup-set scripts: one "<name>.zfb" text file per set in the backups folder, holding the
// set's options as "Key=value" lines and, after the "[FilesInBackupSet]" line, one file or
// folder ("<folder>/*.*") per line. Written with CR LF line ends; read with CR LF or LF. Also
// the names of a set's archives, the renumbering of its generations and its desktop shortcut.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

inline constexpr const char* BackupFilesMarker = "[FilesInBackupSet]";

struct TBackupSet {
    QString Name;
    QString Description;
    QString Folder;      // where the set's archives are written
    int ArcType = 6;     // 0 bh, 1 cab, 2 jar, 3 lha, 4 lzh, 5 tar, 6 zip
    int Compression = 0; // 0 Maximum .. 4 None
    int StorePathInfo = 0;
    int Method = 1; // 1 overwrite, 2 ask for the name, 3 generations
    int Generations = 3;
    QStringList Files; // a file's path, or a folder's path + "/*.*"
};

// $XDG_DATA_HOME/quillar/Backups/ (with the trailing separator).
QString BackupsFolder();
QString BackupScriptPath(const QString& SetName);

// The script's lines in their fixed order, and its bytes with CR LF line ends.
QStringList BackupScriptLines(const TBackupSet& Set);
QByteArray BackupScriptBytes(const TBackupSet& Set);
// Writes the script whole beside Path and puts it in place; false when that failed.
bool SaveBackupScript(const QString& Path, const TBackupSet& Set);
// The file's lines (CR LF or LF); empty when it cannot be read.
QStringList LoadBackupScript(const QString& Path);

// The value of the first line whose key (before the first '=') is Key, without regard to case.
QString ScriptValue(const QStringList& Lines, const QString& Key);
// Every non-empty line after the first line that is exactly the marker, folder entries with
// a '\' before "*.*" written with '/'.
QStringList ScriptFiles(const QStringList& Lines);
// True when every option has a value that can be used (numbers are numbers, the name is a file
// name, generations 1..999) and the marker line is there.
bool CheckBackupScript(const QStringList& Lines);
std::optional<TBackupSet> ParseBackupScript(const QStringList& Lines);

// A set's name becomes a file name: no '/', '\', '<', '>', '|', '"', not "." or "..".
bool IsValidBackupSetName(const QString& Name);
// The extension of an archive-type code (".zip" for any unknown code).
QString ArcTypeExtension(int ArcType);
// Folder + "/" + name: the archive names are this, an optional generation number and the extension.
QString BackupBase(const TBackupSet& Set);
QString BackupTarget(const TBackupSet& Set);
QString GenerationFile(const TBackupSet& Set, int Generation);

// Moves the generations Base1..Base<OldGen> (1 the oldest) so that NewGen are kept, the newest at
// the top numbers: raising frees the low numbers, lowering deletes the oldest. Missing files
// are skipped.
void RenumberGenerations(const QString& Base, const QString& Ext, int OldGen, int NewGen);
// The set's own archives that exist: the plain one and every generation.
QStringList BackupArchives(const TBackupSet& Set);
// Deletes the set's own archives, then its folder when that is left empty; nothing else in the
// folder is touched.
void DeleteBackupArchives(const TBackupSet& Set);

// Writes Folder/<set name>.desktop that runs "<program> -BC <script>"; false when it cannot.
bool CreateBackupShortcut(const QString& Folder, const QString& SetName, const QString& Program,
                          const QString& ScriptPath);
