#include "ui/LmBrowseDlg.h"

#include "ui/LmMessages.h"

#include <QFileInfo>

bool LmAcceptChecks(QFileDialog& Dialog, const QStringList& Chosen, bool OverwritePrompt) {
    const QFileDialog::FileMode mode = Dialog.fileMode();
    const bool folder = mode == QFileDialog::Directory;
    if (mode == QFileDialog::ExistingFile || mode == QFileDialog::ExistingFiles || folder) {
        for (const QString& path : Chosen) {
            // The dialog itself expands environment variables in what is typed.
            if (QFileInfo::exists(path) || path.contains(QLatin1Char('$'))) continue;
            LmMessage(&Dialog, Dialog.windowTitle(),
                      QFileInfo(path).fileName() +
                          (folder ? QStringLiteral("\r\nDirectory not found.\r\nPlease verify the correct "
                                                   "directory name was given.")
                                  : QStringLiteral("\r\nFile not found.\r\nPlease verify the correct file "
                                                   "name was given.")),
                      TLmMessageKind::Warning);
            return false;
        }
    }
    if (OverwritePrompt && Dialog.acceptMode() == QFileDialog::AcceptSave && Chosen.size() == 1 &&
        QFileInfo(Chosen[0]).isFile())
        return LmMessage(&Dialog, Dialog.windowTitle(),
                         QFileInfo(Chosen[0]).fileName() +
                             QStringLiteral(" already exists.\r\nDo you want to replace it?"),
                         TLmMessageKind::RiskyQuestion);
    return true;
}

TLmBrowseDialog::TLmBrowseDialog(QWidget* Parent, const QString& Caption, const QString& Folder)
    : QFileDialog(Parent, Caption, Folder) {
    setOption(QFileDialog::DontUseNativeDialog);
}

void TLmBrowseDialog::accept() {
    const bool confirm = !testOption(QFileDialog::DontConfirmOverwrite);
    if (!LmAcceptChecks(*this, selectedFiles(), confirm)) return;
    // Asked already: the dialog does not ask again.
    setOption(QFileDialog::DontConfirmOverwrite, true);
    QFileDialog::accept();
    setOption(QFileDialog::DontConfirmOverwrite, !confirm);
}
