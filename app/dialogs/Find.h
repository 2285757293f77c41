// The find dialog: a name mask with its history, and optionally a date range and a size bound
// on the entries to select. Sizes are kilobytes typed by the user, taken as 64-bit byte counts.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <optional>

namespace Ui {
class TfmFind;
}

// What to find: a name mask, a date range (whole days) and a size bound.
struct TFindChoice {
    QString Mask;
    bool AnyDate = true, AnySize = true;
    int StartYear = 0, StartMonth = 0, StartDay = 0, EndYear = 0, EndMonth = 0, EndDay = 0;
    int SizeOp = 0; // 0 >=, 1 <=, 2 =
    std::int64_t SizeBytes = 0;
};

class TfmFind : public QDialog {
    Q_OBJECT
public:
    explicit TfmFind(QWidget* Parent = nullptr);
    ~TfmFind() override;

    std::unique_ptr<Ui::TfmFind> ui;
    // The choices, once the dialog was closed with OK.
    TFindChoice Choice() const;

    // The size bound in bytes: the kilobytes of edSizeRange, when they are a whole number whose
    // bytes fit 64 bits.
    static std::optional<std::int64_t> SizeBytes(const QString& Kilobytes);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void EnableChoices();
    void FindClick();

    bool FEndDateSet = false;
};
