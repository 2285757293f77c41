#include "app/dialogs/Find.h"

#include "app/dialogs/DialogSupport.h"
#include "ui_Find.h"

#include <QDate>
#include <QDateEdit>
#include <limits>

TfmFind::TfmFind(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TfmFind>()) {
    ui->setupUi(this);
    TRegComboBox& mask = *ui->rcbFilename;
    mask.SetRegKey("\\Software\\Quillar\\Find");
    mask.SetRegMaxCount(10);
    mask.SetRegAutoFindValue(true);
    mask.SetRegAutoFindDelay(500);
    mask.SetRegAutoFindCaseSensitive(false);
    mask.SetRegSaveOnExit(true);
    mask.Loaded();
    mask.setCurrentText("*.*");

    const QDate today = QDate::currentDate();
    for (QDateEdit* picker : {ui->dtpStart, ui->dtpEnd}) {
        picker->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
        picker->setDate(today);
    }
    ui->dtpEnd->installEventFilter(this);
    for (QRadioButton* choice : {ui->rbDateAny, ui->rbDateBetween, ui->rbSizeAny, ui->rbSizeRange})
        connect(choice, &QRadioButton::toggled, this, &TfmFind::EnableChoices);
    connect(ui->buFind, &QPushButton::clicked, this, &TfmFind::FindClick);
    CloseWith(ui->buCancel, this, mrCancel);
    ConnectHelp(ui->buHelp, "Hlp_Find_Dialog");
}

TfmFind::~TfmFind() = default;

std::optional<std::int64_t> TfmFind::SizeBytes(const QString& Kilobytes) {
    bool ok = false;
    const qlonglong value = Kilobytes.trimmed().toLongLong(&ok);
    constexpr qlonglong limit = std::numeric_limits<std::int64_t>::max() / 1024;
    if (!ok || value < -limit || value > limit) return std::nullopt;
    return static_cast<std::int64_t>(value) * 1024;
}

// The first time the end date is entered it starts from the start date.
bool TfmFind::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == ui->dtpEnd && Event->type() == QEvent::FocusIn && !FEndDateSet) {
        ui->dtpEnd->setDate(ui->dtpStart->date());
        FEndDateSet = true;
    }
    return QDialog::eventFilter(Watched, Event);
}

void TfmFind::EnableChoices() {
    const bool between = ui->rbDateBetween->isChecked();
    for (QWidget* widget : std::initializer_list<QWidget*>{ui->dtpStart, ui->dtpEnd, ui->laAnd})
        widget->setEnabled(between);
    const bool range = ui->rbSizeRange->isChecked();
    for (QWidget* widget : std::initializer_list<QWidget*>{ui->cbSizeRange, ui->edSizeRange, ui->laKilobytes})
        widget->setEnabled(range);
}

void TfmFind::FindClick() {
    ui->rcbFilename->AddToHistory();
    if (ui->rbSizeRange->isChecked() && !SizeBytes(ui->edSizeRange->text())) {
        ui->edSizeRange->setFocus();
        MessageDlg("You did not enter a valid file size.", mtError, mbOK);
        return;
    }
    done(mrOk);
}

TFindChoice TfmFind::Choice() const {
    TFindChoice choice;
    choice.Mask = ui->rcbFilename->currentText();
    choice.AnyDate = ui->rbDateAny->isChecked();
    choice.AnySize = ui->rbSizeAny->isChecked();
    const QDate start = ui->dtpStart->date(), end = ui->dtpEnd->date();
    choice.StartYear = start.year(), choice.StartMonth = start.month(), choice.StartDay = start.day();
    choice.EndYear = end.year(), choice.EndMonth = end.month(), choice.EndDay = end.day();
    choice.SizeOp = ui->cbSizeRange->currentIndex();
    choice.SizeBytes = SizeBytes(ui->edSizeRange->text()).value_or(0);
    return choice;
}
