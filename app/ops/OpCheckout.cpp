#include "app/ops/OpCheckout.h"

#include "app/common/FileUtils.h"
#include "app/common/QtStrings.h"
#include "app/common/ShellUtils.h"
#include "platform/FileReplace.h"
#include "platform/Shell.h"
#include "platform/ShellLink.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace {

// A group folder is only ever one made in the applications menu's folder.
bool SafeGroup(const QString& Group) {
    const QString programs = Str(SpecialFolderPath(sfPrograms));
    const QFileInfo info(Group);
    return !programs.isEmpty() && QDir::cleanPath(info.absolutePath()) == QDir::cleanPath(programs) &&
           IsValidFileName(info.fileName().toStdString(), true);
}

} // namespace

bool SafeCheckoutTarget(const QString& Folder) {
    if (Folder.trimmed().isEmpty() || Folder.split('/').contains("..")) return false;
    const QString path = QDir::cleanPath(QDir(Folder).absolutePath());
    return path != "/" && path != QDir::cleanPath(QDir::homePath());
}

TCheckoutResult Checkout(const TCheckoutOptions& Options, TOpObserver& Observer) {
    TCheckoutResult result;
    const QFileInfo archive(Options.Archive);
    const QString folder = QDir::cleanPath(QFileInfo(Options.Folder).absoluteFilePath());
    // The folder is emptied first: it may not be the root, the home folder, nor hold the archive.
    const QString real = QFileInfo(folder).exists() ? QFileInfo(folder).canonicalFilePath() : folder;
    if (!SafeCheckoutTarget(folder) || !SafeGroup(Options.Group) ||
        archive.canonicalFilePath().startsWith(real + QLatin1Char('/'))) {
        result.Refusal = TCheckoutRefusal::UnusableTarget;
        return result;
    }
    // Only the files the question named go: a file of the user's it did not name stays.
    if (QFileInfo::exists(folder)) RemoveFolderFiles(folder, {}, Options.Clear);
    if (QFileInfo::exists(Options.Group)) DeleteFolderTree(Options.Group.toStdString());
    const TFolderFiles before = FolderFiles(folder);
    TExtractOptions extract;
    extract.Archive = archive.absoluteFilePath();
    extract.Folder = folder;
    extract.RestoreFileAttr = false;
    extract.ConfirmOverwrites = false;
    // A file the question did not name stays as it is, also where an entry has its name.
    extract.KeepExisting = true;
    result.Extraction = Extract(extract, Observer);
    static_cast<TOpResult&>(result) = result.Extraction;
    result.Written = WrittenBetween(before, FolderFiles(folder));

    const std::string group = Options.Group.toStdString();
    MakeFolders(group, 0755);
    const QString root = folder + QLatin1Char('/');
    const int count = std::min<int>(Options.MaxIcons, Options.Entries.size());
    for (int row = 0; row < count; ++row) {
        const QString entry = Options.Entries[row];
        const QString name = QFileInfo(entry).fileName();
        if (Options.OnlyOpenable && !GetOpenCommand(name.toStdString()) &&
            !name.endsWith(QLatin1String(".exe")))
            continue;
        const QString target = QDir::cleanPath(root + entry);
        // A launcher points only into the check-out folder.
        if (!target.startsWith(root)) continue;
        if (CreateShellLink(group, name.toStdString(), target.toStdString(), "")) ++result.Launchers;
    }
    if (Options.VirusScan) {
        result.Scanned = true;
        result.Verdict = ScanFolder(folder, Observer, result.ScanStatus);
        // Entries that could not be extracted were not scanned.
        if (result.Verdict == TScanVerdict::Clean && !result.Extraction.Succeeded())
            result.Verdict = TScanVerdict::Incomplete;
    }
    return result;
}

bool RemoveCheckout(const QString& Folder, const QString& Group, const TFolderFiles& Written,
                    const QStringList& Named) {
    bool removed = true;
    if (SafeGroup(Group) && QFileInfo::exists(Group)) removed = ShellDeleteFiles(Group.toStdString());
    if (SafeCheckoutTarget(Folder)) RemoveFolderFiles(QDir::cleanPath(Folder), Written, Named);
    return removed;
}

QString CheckoutRefusalText(TCheckoutRefusal Refusal) {
    if (Refusal == TCheckoutRefusal::UnusableTarget)
        return QStringLiteral("The folder or group name you specified cannot be used for a check out.\r\n"
                              "Please choose another one.");
    return {};
}
