// The UU/XX encode dialog: which file to encode, into which file, by which method, and in
// pieces of which size. The output may not be the input.
#pragma once

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

protected:
    void showEvent(QShowEvent* Event) override;

private:
    QString Extension() const;
    void OkClick();
};
