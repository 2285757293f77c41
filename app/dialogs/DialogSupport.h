// What the program's dialogs share: buttons that close with a fixed modal result, help topics,
// the folder the file dialogs start in and the mask-password setting of both password dialogs.
#pragma once

#include "app/common/ArchivePassword.h"
#include "app/common/HelpPages.h"
#include "app/common/Prompter.h"

#include <QString>
#include <QStringList>

class QAbstractButton;
class QDialog;
class QFileDialog;
class QWidget;
class TLmCustomOpenDialog;

// True when modal dialogs take their default answer without being shown (QUILLAR_PROMPTER=auto).
bool AutoAnswerDialogs();

// Shows Dialog modally and returns its result. With QUILLAR_PROMPTER=auto the dialog takes its
// default answer at once (its default button; Cancel when that leaves it open) and its caption
// and message texts go to standard error, so whole-process runs never wait for a person.
int ShowModal(QDialog& Dialog);
// Runs an open or save dialog of the dialog set. With automatic answers its title goes to
// standard error and it takes the name it offers (OK), or Cancel when it does not accept it.
bool ExecuteFileDialog(TLmCustomOpenDialog& Dialog);
// The add-files open dialog ("Select Files to Add", "&Add", several files that exist, hidden
// files shown, no places bar): the chosen files, none when cancelled.
QStringList ChooseFilesToAdd(QWidget* Parent, const QString& Filter = QStringLiteral("All Files (*.*)|*.*"));
// Clicking Button closes Dialog with Result.
void CloseWith(QAbstractButton* Button, QDialog* Dialog, int Result);
// Clicking Button opens the help page of Topic ("Hlp_..."), one HTML page per topic in the
// help folder of the program's data.
void ConnectHelp(QAbstractButton* Button, const QString& Topic);
// Hides the side bar of places of a plain Qt file dialog: the program's file dialogs show none.
void HidePlacesBar(QFileDialog& Dialog);

// The folder the window's file dialogs start in: the folder of the archive last displayed, at
// first the folder the program was started in. The process's working folder is never changed,
// so names typed without a folder stay relative to where the program was started.
QString& CurrentFolder();

// "Others\MaskPassword": whether the password dialogs show stars instead of the text.
bool ReadMaskPassword();
void WriteMaskPassword(bool Masked);
