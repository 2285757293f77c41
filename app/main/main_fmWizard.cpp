// The wizard command: the step-by-step wizard shown modally, with the window hidden and its
// actions suspended meanwhile; it runs the window's add and extract with their messages.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

#include "app/common/Prompter.h"
#include "app/dialogs/DialogSupport.h"
#include "app/main/Wizard.h"
#include "engine/read/krvKorva.h"

#include <QGuiApplication>
#include <QPointer>
#include <utility>
#include <vector>

void TfmMain::ConnectWizardActions() {
    connect(ui->acWizard, &QAction::triggered, this, &TfmMain::WizardCommand);
}

void TfmMain::WizardCommand() {
    if (!ExitCheckoutCheck()) return;
    // Made first: it reads the window's open archive and commands as they are.
    TfmWizard wizard(*this, this);
    const bool hidden = isVisible();
    if (hidden) hide();
    // With the window hidden, a message box without a parent (one shown when nothing is active,
    // such as after an extraction's progress window) would be the last window to close and
    // would end the program; the window comes back after the wizard instead.
    struct TKeepRunning {
        const bool Quits = QGuiApplication::quitOnLastWindowClosed();
        TKeepRunning() { QGuiApplication::setQuitOnLastWindowClosed(false); }
        ~TKeepRunning() { QGuiApplication::setQuitOnLastWindowClosed(Quits); }
    } keepRunning;
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
    EnableMenus();
    if (hidden) show();
}

QString TfmMain::WizardArchive(bool& Addable) const {
    Addable = ui->acAdd->isEnabled();
    return ArchiveOpen() ? QString::fromStdString(krvKorva->ArchiveFile()) : QString();
}
