#include "app/common/BackupScript.h"

#include "app/common/FileUtils.h"
#include "platform/ShellLink.h"
#include "platform/XdgFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const char* const Extensions[] = {".bh", ".cab", ".jar", ".lha", ".lzh", ".tar", ".zip"};

// A decimal integer value, or nothing when the text is none.
std::optional<int> Number(const QString& Text) {
    bool ok = false;
    const int value = Text.trimmed().toInt(&ok, 10);
    if (!ok) return std::nullopt;
    return value;
}

} // namespace

QString BackupsFolder() {
    return QString::fromStdString(XdgDataHome()) + QStringLiteral("/quillar/Backups/");
}

QString BackupScriptPath(const QString& SetName) {
    return BackupsFolder() + SetName + QStringLiteral(".zfb");
}

QStringList BackupScriptLines(const TBackupSet& Set) {
    QStringList lines = {
        QStringLiteral("BackupSetName=") + Set.Name,
        QStringLiteral("Description=") + Set.Description,
        QStringLiteral("BackupFolder=") + Set.Folder,
        QStringLiteral("ArcType=") + QString::number(Set.ArcType),
        QStringLiteral("Compression=") + QString::number(Set.Compression),
        QStringLiteral("StorePathInfo=") + QString::number(Set.StorePathInfo),
        QStringLiteral("BackupMethod=") + QString::number(Set.Method),
        QStringLiteral("Generations=") + QString::number(Set.Generations),
        QString::fromLatin1(BackupFilesMarker),
    };
    for (const QString& file : Set.Files)
        if (!file.isEmpty()) lines << file;
    return lines;
}

QByteArray BackupScriptBytes(const TBackupSet& Set) {
    QByteArray bytes;
    for (const QString& line : BackupScriptLines(Set))
        bytes += line.toUtf8() + "\r\n";
    return bytes;
}

bool SaveBackupScript(const QString& Path, const TBackupSet& Set) {
    QSaveFile file(Path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = BackupScriptBytes(Set);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QStringList LoadBackupScript(const QString& Path) {
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    for (QString& line : lines)
        if (line.endsWith('\r')) line.chop(1);
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
}

QString ScriptValue(const QStringList& Lines, const QString& Key) {
    for (const QString& line : Lines) {
        const qsizetype eq = line.indexOf('=');
        if (eq >= 0 && line.left(eq).compare(Key, Qt::CaseInsensitive) == 0) return line.mid(eq + 1);
    }
    return {};
}

QStringList ScriptFiles(const QStringList& Lines) {
    const qsizetype marker = Lines.indexOf(QString::fromLatin1(BackupFilesMarker));
    QStringList files;
    if (marker < 0) return files;
    for (qsizetype i = marker + 1; i < Lines.size(); ++i) {
        QString entry = Lines[i];
        if (entry.isEmpty()) continue;
        if (entry.endsWith(QStringLiteral("\\*.*"))) entry.replace(entry.size() - 4, 1, QLatin1Char('/'));
        files << entry;
    }
    return files;
}

bool IsValidBackupSetName(const QString& Name) {
    for (QChar c : Name)
        if (c.unicode() < 0x20) return false;
    return Name.size() <= 50 && IsValidFileName(Name.toStdString(), true);
}

bool CheckBackupScript(const QStringList& Lines) {
    return ParseBackupScript(Lines).has_value();
}

std::optional<TBackupSet> ParseBackupScript(const QStringList& Lines) {
    TBackupSet set;
    set.Name = ScriptValue(Lines, QStringLiteral("BackupSetName"));
    set.Folder = ScriptValue(Lines, QStringLiteral("BackupFolder"));
    if (set.Name.isEmpty() || set.Folder.isEmpty() || !IsValidBackupSetName(set.Name)) return std::nullopt;
    set.Description = ScriptValue(Lines, QStringLiteral("Description"));
    int* const numbers[] = {&set.ArcType, &set.Compression, &set.StorePathInfo, &set.Method,
                            &set.Generations};
    const char* const keys[] = {"ArcType", "Compression", "StorePathInfo", "BackupMethod", "Generations"};
    for (std::size_t i = 0; i < std::size(keys); ++i) {
        const std::optional<int> value = Number(ScriptValue(Lines, QString::fromLatin1(keys[i])));
        if (!value) return std::nullopt;
        *numbers[i] = *value;
    }
    if (set.Generations < 1 || set.Generations > 999) return std::nullopt;
    if (!Lines.contains(QString::fromLatin1(BackupFilesMarker))) return std::nullopt;
    set.Files = ScriptFiles(Lines);
    return set;
}

QString ArcTypeExtension(int ArcType) {
    return QString::fromLatin1(ArcType >= 0 && ArcType < 7 ? Extensions[ArcType] : ".zip");
}

QString BackupBase(const TBackupSet& Set) {
    return QString::fromStdString(AddBackslash(Set.Folder.toStdString())) + Set.Name;
}

QString BackupTarget(const TBackupSet& Set) {
    return BackupBase(Set) + ArcTypeExtension(Set.ArcType);
}

QString GenerationFile(const TBackupSet& Set, int Generation) {
    return BackupBase(Set) + QString::number(Generation) + ArcTypeExtension(Set.ArcType);
}

void RenumberGenerations(const QString& Base, const QString& Ext, int OldGen, int NewGen) {
    const auto name = [&](int k) { return Base + QString::number(k) + Ext; };
    if (NewGen > OldGen) {
        for (int k = OldGen + 1; k <= NewGen; ++k)
            QFile::remove(name(k));
        for (int k = OldGen; k >= 1; --k)
            if (QFileInfo::exists(name(k))) QFile::rename(name(k), name(NewGen - OldGen + k));
    } else if (NewGen < OldGen) {
        const int drop = OldGen - NewGen;
        for (int k = 1; k <= drop; ++k)
            QFile::remove(name(k));
        for (int k = drop + 1; k <= OldGen; ++k)
            if (QFileInfo::exists(name(k))) QFile::rename(name(k), name(k - drop));
    }
}

QStringList BackupArchives(const TBackupSet& Set) {
    QStringList archives{BackupTarget(Set)};
    for (int k = 1; k <= Set.Generations; ++k)
        archives << GenerationFile(Set, k);
    archives.removeIf([](const QString& File) { return !QFileInfo(File).isFile(); });
    return archives;
}

void DeleteBackupArchives(const TBackupSet& Set) {
    for (const QString& archive : BackupArchives(Set))
        QFile::remove(archive);
    QDir folder(Set.Folder);
    if (folder.exists() &&
        folder.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        folder.rmdir(folder.absolutePath());
}

bool CreateBackupShortcut(const QString& Folder, const QString& SetName, const QString& Program,
                          const QString& ScriptPath) {
    return CreateShellLink(Folder.toStdString(), SetName.toStdString(),
                           {Program.toStdString(), "-BC", ScriptPath.toStdString()}, "quillar");
}
