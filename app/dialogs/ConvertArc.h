// The convert dialog: the archive to convert, the output's name and format, a test of the
// result and whether the original goes afterwards. The output is never the input: not by name,
// not by another path to the same file, not once ".gz" is added for GZipTar.
#pragma once

#include "app/ops/OpConvert.h"

#include <QDialog>
#include <memory>

namespace Ui {
class TfmConvertArc;
}

class TfmConvertArc : public QDialog {
    Q_OBJECT
public:
    explicit TfmConvertArc(QWidget* Parent = nullptr);
    ~TfmConvertArc() override;

    std::unique_ptr<Ui::TfmConvertArc> ui;

    enum TFormat { cfBlakHole, cfCabinet, cfGZipTar, cfJar, cfLha, cfLzh, cfTar, cfZip };
    static QString FormatExtension(int Format);
    // The file the converter writes: the output name, with ".gz" added for GZipTar.
    QString TargetName() const;
    // The archive to convert; the output offered beside it as a zip.
    void SetArchive(const QString& ArchiveName);
    // The choices, once the dialog was closed with OK.
    TConvertOptions Options() const;

private:
    void FormatChanged();
    void DeleteOriginalClicked(bool Checked);
    void ConvertClick();
};
