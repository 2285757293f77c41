// The batch tool: one archive operation over many archives (or, for creation, many files) as a
// wizard: choose the files, the options, watch the progress, read and keep the result log. It
// keeps only its loop and its result lines: each step is the program's one operation (app/ops),
// its questions asked through the same observer as the window's. A failed step never deletes a
// source, and a target that existed stays as it was until its replacement is written.
#pragma once

#include "engine/write/krvWriters.h"

#include <QDialog>
#include <QStringList>
#include <memory>

namespace Ui {
class TfmBatch;
}
class TBatchObserver;

// The operations, numbered as the batch commands pass them.
enum TBatchOperation { boTest = 1, boVirusScan, boMakeExe, boConvert, boExtract, boCreate, boAdd };

class TfmBatch : public QDialog {
    Q_OBJECT
public:
    explicit TfmBatch(QWidget* Parent = nullptr);
    ~TfmBatch() override;

    std::unique_ptr<Ui::TfmBatch> ui;

    void SetupBatchOperation(int Operation);
    // Appends each file not listed yet (what the Add buttons do with the files chosen).
    void AddSelectedFiles(const QStringList& Files);
    void AddMoreFiles(const QStringList& Files);
    // The page shown now, by its number.
    int CurrentPage() const;

    void NextClick();
    void CancelClick();

private:
    // False when a cancel stopped the run before its last file.
    bool RunOperation();
    void ProcessFile(const QString& File);
    QString OutputLocation(const QString& File) const;
    QString TargetExtension() const;
    // The output type of the chosen format.
    TOutArcType SelectedType() const;
    // "The archive file ... already exist." unless automatic; false when the user declines.
    bool ConfirmReplace(const QString& Target);

    // The count of files extracted, -1 when the extraction failed.
    int ExtractArchive(const QString& File, const QString& Destination);
    // The writer's count, -1 when the archive was not written. Replace: a new archive in place
    // of an existing file of the name.
    int AddToArchive(const QString& Name, const QStringList& Files, int StoredDirNames, int Compression,
                     bool Replace = false);

    friend class TBatchObserver;
    std::unique_ptr<TBatchObserver> FObserver;
    void AppendResult(const QString& Line);
    void AppendProgress(const QString& Line);
    void ListMenu(const QPoint& Pos);

    int FOperation = 0;
    QStringList PageSequence;
    int Step = 0;
    bool FCancelRequested = false;
    bool FAutoOverwrite = false;
    bool FRunning = false;
};
