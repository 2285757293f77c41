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

class TfmFind : public QDialog {
    Q_OBJECT
public:
    explicit TfmFind(QWidget* Parent = nullptr);
    ~TfmFind() override;

    std::unique_ptr<Ui::TfmFind> ui;

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
