#include "app/ops/OpMail.h"

#include "app/common/ProcessUtils.h"
#include "app/ops/OpPack.h"

#include <QFileInfo>

TMailResult Mail(const TMailOptions& Options, TOpObserver& Observer) {
    TMailResult result;
    result.Started = true;
    TRunFolder folder;
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
    result.MailStatus = SendMail("Attached: " + QFileInfo(result.Attachment).fileName().toStdString(), "",
                                 result.Attachment.toStdString(), "", "", "", "");
    if (result.MailStatus == -1) {
        result.Failure = TMailFailure::NoMailProgram;
    } else if (result.MailStatus != 0) {
        result.Failure = TMailFailure::NotTaken;
    } else {
        result.Done = 1;
        // The mail program reads the attachment after xdg-email has returned: the folder stays
        // for the system's cleaning of temporary files.
        folder.Keep = true;
    }
    return result;
}

QString MailFailureText(const TMailResult& Result) {
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
                              "feature.");
    case TMailFailure::NotTaken:
        return QStringLiteral("The mail program did not take the message (exit status %1).")
            .arg(Result.MailStatus);
    }
    return {};
}
