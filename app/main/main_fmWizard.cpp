// The wizard command: the step-by-step wizard shown modally, with the window hidden and its
// actions suspended meanwhile, and the wizard's runs of the add and extract workers.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/dialogs/DialogSupport.h"
#include "app/dialogs/Prompter.h"
#include "app/main/Wizard.h"

#include <QPointer>
#include <utility>
#include <vector>

void TfmMain::ConnectWizardActions() {
    connect(ui->acWizard, &QAction::triggered, this, &TfmMain::WizardCommand);
}

void TfmMain::WizardCommand() {
    if (!ExitCheckoutCheck()) return;
    // Made first: it reads the window's open archive and commands as they are.
    TfmWizard wizard(*this);
    // A command-line run never showed the window.
    const bool hidden = FInteractive && isVisible();
    if (hidden) hide();
    // No command of the window runs while the wizard does; each gets its state back after.
    std::vector<std::pair<QPointer<QAction>, bool>> suspended;
    for (QAction* action : findChildren<QAction*>()) {
        suspended.emplace_back(action, action->isEnabled());
        action->setEnabled(false);
    }
    ShowModal(wizard);
    for (const auto& [action, enabled] : suspended)
        if (action) action->setEnabled(enabled);
    // The wizard's work may have opened another archive.
    if (FInteractive) EnableMenus();
    if (hidden) show();
}

bool TfmMain::AddCommandEnabled() const {
    return ui->acAdd->isEnabled();
}

bool TfmMain::WizardAdd(const QString& ArchiveName, const QStringList& Files, bool NewArchive) {
    // The old file of the new archive's name steps aside and goes to the trash only once the
    // new archive has been written; a failed run puts it back.
    TAddOptions options;
    options.Archive = ArchiveName;
    options.Files = ExpandFolderArguments(Files);
    options.ReplaceArchive = NewArchive;
    options.OldToTrash = true;
    const TAddResult result = RunAdd(options, true, NewArchive);
    if (result.Refusal == TAddRefusal::NoFiles) {
        MessageDlg(QStringLiteral("None of the selected files or folders could be found."), mtError, mbOK);
        return false;
    }
    // An update that had nothing to change leaves the archive as it was and is no failure.
    return result.Good() && (result.Written || (!NewArchive && result.Done == 0));
}

bool TfmMain::WizardExtract(const QString& ArchiveName, const QString& Folder, bool ConfirmOverwrites,
                            bool UseStoredDirs) {
    TExtractOptions options;
    options.Archive = ArchiveName;
    options.Folder = Folder;
    options.UseStoredDirs = UseStoredDirs;
    options.ConfirmOverwrites = ConfirmOverwrites;
    return RunExtraction(options, true).Succeeded();
}
