// A plain file dialog of the program (a file or folder to browse for) whose questions and
// warnings are the dialog set's messages, not the file dialog's own message boxes.
#pragma once

#include <QFileDialog>
#include <QStringList>

// The checks a file dialog makes before it takes Chosen, asked through the dialog set's
// messages: a file or folder that must exist and does not, and, with OverwritePrompt, a file
// that exists already. False keeps the dialog open.
bool LmAcceptChecks(QFileDialog& Dialog, const QStringList& Chosen, bool OverwritePrompt);

class TLmBrowseDialog : public QFileDialog {
    Q_OBJECT
public:
    TLmBrowseDialog(QWidget* Parent, const QString& Caption, const QString& Folder);
    void accept() override;
};
