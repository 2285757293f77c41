#include "app/ops/OpPack.h"

#include <QFileInfo>

TAddResult PackIntoFolder(const TRunFolder& Folder, const QString& Name, const QStringList& Files,
                          TStoredDirNames StoredDirNames, TOpObserver& Observer) {
    TAddOptions options;
    options.Archive = QString::fromStdString(Folder.Path) + QLatin1Char('/') + QFileInfo(Name).fileName();
    options.Files = ExpandFolderArguments(Files);
    options.StoredDirNames = StoredDirNames;
    TAddResult result = Add(options, Observer);
    result.Written = result.Written && result.Done > 0 && QFileInfo(result.ArchiveName).isFile();
    return result;
}

QString PackFailureText(const TAddResult& Result, bool NoFolder) {
    if (NoFolder) return QStringLiteral("Unable to create the temporary directory. \r\nQuillar aborted.");
    if (Result.Cancelled) return QStringLiteral("Archiving operation cancelled.");
    return QStringLiteral("None of the files could be zipped.");
}
