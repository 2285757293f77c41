// The wizard: creates an archive, adds files to an existing one or extracts one, page by page.
// It only gathers names and options; its host's runs of the operations do the work. A page sequence per
// task lists the pages visited; Back and Next walk it, and Next on its next-to-last page runs
// the task and shows the finish page only when the work succeeded.
#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>

namespace Ui {
class TfmWizard;
}
class TWizardHost;

class TfmWizard : public QDialog {
    Q_OBJECT
public:
    // Host: runs the tasks and offers its open archive; Parent: the dialog's owner.
    explicit TfmWizard(TWizardHost& Host, QWidget* Parent = nullptr);
    ~TfmWizard() override;

    std::unique_ptr<Ui::TfmWizard> ui;

    enum TMode { wmCreate = 1, wmUpdate = 2, wmExtract = 3 };
    int Mode() const { return FMode; }
    int Step() const { return FStep; }
    const QStringList& PageSequence() const { return FPageSequence; }
    const QString& HelpTopic() const { return FHelpTopic; }

private:
    void Reset();
    void ChooseTask(int Tag);
    void UpdateButtons();
    // Shows the page of that index and does what entering it does.
    void EnterPage(int Index);
    void BackClick();
    void NextClick();
    // The check of the archive name on the second page; false keeps the wizard there.
    bool CheckArchiveName();
    // Runs the task; false (after the worker's or the wizard's message) keeps the wizard on its page.
    bool Finish();
    // True when Target is no file, or the user agreed (once) to replace it.
    bool ConfirmOverwrite(const QString& Target);
    QStringList ListedFiles() const;
    // The new archive's full path from the name typed on the second page: relative names lie in
    // the folder that page shows, a name without extension becomes a zip.
    QString CreateTarget() const;
    void AddFilesClick();
    void AddFoldersClick();
    void RemoveClick();
    void AppendLine(const QString& Line);
    void SetHelpTopic(const QString& Topic);
    // The add of Files (folders with their trees); a NewArchive replaces an existing file of its
    // name only once it has been written. True when the archive was written.
    bool Add(const QString& ArchiveName, const QStringList& Files, bool NewArchive);
    // Every entry of ArchiveName into Folder; true only when every entry came out.
    bool Extract(const QString& ArchiveName, const QString& Folder, bool ConfirmOverwrites,
                 bool UseStoredDirs);

    TWizardHost& FHost;
    int FMode = wmCreate;
    QStringList FPageSequence;
    int FStep = 0;
    QString FHelpTopic;
    QString FCurrentDir;         // the folder shown on the second page
    QString FOverwriteConfirmed; // the existing file the user agreed to replace
};
