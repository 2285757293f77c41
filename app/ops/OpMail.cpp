#include "app/ops/OpMail.h"

#include "app/common/ProcessUtils.h"
#include "app/ops/OpPack.h"

#include "platform/Mail.h"
#include "platform/XdgFolders.h"

#include <QFileInfo>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>

namespace {

// Where attachments wait for the mail program: private to the user (0700).
std::string MailCopiesFolder() {
    return XdgCacheHome() + "/quillar/mail";
}

std::string MakeMailFolder() {
    const std::string base = MailCopiesFolder();
    std::string path;
    for (std::size_t at = base.find('/', 1);; at = base.find('/', at + 1)) {
        path = base.substr(0, at);
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return {};
        if (at == std::string::npos) break;
    }
    std::string folder = base + "/zf_XXXXXX";
    return ::mkdtemp(folder.data()) ? folder : std::string();
}

} // namespace

void RemoveOldMailCopies(long MaxAgeSeconds) {
    const std::string base = MailCopiesFolder();
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(base.c_str()), &::closedir);
    if (!dir) return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.rfind("zf_", 0) != 0) continue;
        struct stat st {};
        if (::fstatat(dirfd(dir.get()), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode))
            continue;
        if (now - st.st_mtime > MaxAgeSeconds) DeleteFolderTree(base + '/' + name);
    }
}

TMailResult Mail(const TMailOptions& Options, TOpObserver& Observer) {
    TMailResult result;
    result.Started = true;
    TRunFolder folder(Options.Archive.isEmpty() ? MakeMailFolder() : std::string());
    if (Options.Archive.isEmpty()) {
        if (folder.Path.empty()) {
            result.Failure = TMailFailure::NoTempFolder;
            return result;
        }
        result.Packing =
            PackIntoFolder(folder, Options.Name, Options.Files, Options.StoredDirNames, Observer);
        if (!result.Packing.Written) {
            result.Failure = TMailFailure::NothingPacked;
            result.Cancelled = result.Packing.Cancelled;
            return result;
        }
        result.Attachment = result.Packing.ArchiveName;
    } else {
        result.Attachment = QFileInfo(Options.Archive).absoluteFilePath();
    }
    std::string mailError;
    result.MailStatus = SendMail("Attached: " + QFileInfo(result.Attachment).fileName().toStdString(), "",
                                 result.Attachment.toStdString(), "", "", "", "", &mailError);
    result.MailError = QString::fromLocal8Bit(mailError).trimmed();
    if (result.MailStatus == -1) {
        result.Failure = TMailFailure::NoMailProgram;
    } else if (result.MailStatus != 0) {
        result.Failure = TMailFailure::NotTaken;
    } else {
        result.Done = 1;
        // The mail program reads the attachment after xdg-email has returned: the folder stays
        // in the program's cache until a start of the program a day later.
        folder.Keep = true;
    }
    return result;
}

QString MailFailureText(const TMailResult& Result) {
    // The program that handed the message on, on a line of its own below the message.
    const QString program = QStringLiteral("\r\n\r\n") + QString::fromLatin1(DesktopMailProgram);
    switch (Result.Failure) {
    case TMailFailure::None:
        return {};
    case TMailFailure::NoTempFolder:
        return PackFailureText(Result.Packing, true);
    case TMailFailure::NothingPacked:
        return PackFailureText(Result.Packing, false);
    case TMailFailure::NoMailProgram:
        return QStringLiteral("Your computer must be configured to use a MAPI\r\n(Messaging Application "
                              "Programming Interface)\r\ncompliant email software in order to use this\r\n"
                              "feature.") +
               program + QStringLiteral(" could not be started") +
               (Result.MailError.isEmpty() ? QString() : QStringLiteral(": ") + Result.MailError);
    case TMailFailure::NotTaken:
        return QStringLiteral("The mail program did not take the message (exit status %1).")
                   .arg(Result.MailStatus) +
               program + QStringLiteral(" said:") +
               (Result.MailError.isEmpty() ? QStringLiteral(" nothing")
                                           : QStringLiteral("\r\n") + Result.MailError);
    }
    return {};
}
