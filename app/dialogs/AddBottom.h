// The option panel docked under the add-files dialog: what to do with the chosen files, how hard
// to compress, spanning, folders, the archive password, and adding by wildcards instead of by
// chosen files. Made once at start-up; its choices stay from one dialog to the next.
#pragma once

#include "app/dialogs/AddPanelChoice.h"

#include <QWidget>
#include <memory>

namespace Ui {
class TfmAddBottom;
}

class TfmAddBottom : public QWidget {
    Q_OBJECT
public:
    explicit TfmAddBottom(QWidget* Parent = nullptr);
    ~TfmAddBottom() override;

    std::unique_ptr<Ui::TfmAddBottom> ui;

    // A new add: the first action, compression and spanning, the folder options as given, the
    // password and compression offered only where the writer takes them.
    void Reset(bool SaveFullPath, bool IncludeSubfolders, bool Encryptable, bool Compressible);
    // The choices, once the add dialog was closed.
    TAddPanelChoice Choice() const;
    // Set by the wildcard button; the caller resets UseWildcards before each dialog.
    bool UseWildcards = false;
    QString Wildcards;      // the space-separated patterns typed in the file-name box
    QString WildcardFolder; // the dialog's folder, with a trailing separator

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void WildcardsClick();
};
