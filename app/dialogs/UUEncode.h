// The UU/XX encode dialog: which file to encode, into which file, by which method, and in
// pieces of which size. The output may not be the input.
#pragma once

#include "app/ops/OpUUEncode.h"

#include <QDialog>
#include <memory>

namespace Ui {
class TfmUUEncode;
}

class TfmUUEncode : public QDialog {
    Q_OBJECT
public:
    explicit TfmUUEncode(QWidget* Parent = nullptr);
    ~TfmUUEncode() override;

    std::unique_ptr<Ui::TfmUUEncode> ui;
    // 0 UUEncode, 1 XXEncode.
    int EncodeIndex() const;
    // The file to encode and the text to write, offered.
    void SetFiles(const QString& Input, const QString& Output);
    // The choices, once the dialog was closed with OK.
    TUUEncodeOptions Options() const;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    QString Extension() const;
    void OkClick();
};
