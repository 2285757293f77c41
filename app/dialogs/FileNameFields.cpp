#include "app/dialogs/FileNameFields.h"
#include "app/dialogs/DialogSupport.h"

#include "ui/LmBrowseDlg.h"
#include "ui/LmFileFilter.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <filesystem>
#include <system_error>

namespace {

class TFocusWatcher : public QObject {
public:
    TFocusWatcher(QWidget* Widget, std::function<void()> Action)
        : QObject(Widget), FAction(std::move(Action)) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::FocusIn) FAction();
        return QObject::eventFilter(Watched, Event);
    }

private:
    std::function<void()> FAction;
};

} // namespace

void ConnectBrowse(QAbstractButton* Button, QLineEdit* Edit, TBrowseKind Kind, const QString& Title,
                   const QString& Filter) {
    QObject::connect(Button, &QAbstractButton::clicked, Edit, [=] {
        TLmBrowseDialog dialog(Edit->window(), Title, QFileInfo(Edit->text()).path());
        HidePlacesBar(dialog);
        if (!Filter.isEmpty()) dialog.setNameFilters(QtNameFilters(Filter));
        switch (Kind) {
        case TBrowseKind::OpenFile:
            dialog.setFileMode(QFileDialog::ExistingFile);
            break;
        case TBrowseKind::SaveFile:
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            break;
        case TBrowseKind::Folder:
            dialog.setFileMode(QFileDialog::Directory);
            dialog.setOption(QFileDialog::ShowDirsOnly);
            break;
        }
        if (ShowModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        QString chosen = dialog.selectedFiles().first();
        if (Kind == TBrowseKind::Folder && !chosen.endsWith('/')) chosen += '/';
        Edit->setText(chosen);
    });
}

void OnFocusIn(QWidget* Widget, std::function<void()> Action) {
    Widget->installEventFilter(new TFocusWatcher(Widget, std::move(Action)));
}

QString WithExtension(const QString& Name, const QString& Ext) {
    const qsizetype slash = Name.lastIndexOf('/');
    const qsizetype dot = Name.lastIndexOf('.');
    return (dot > slash + 1 ? Name.left(dot) : Name) + Ext;
}

bool OnFloppy(const QString& Path) {
    const QString drive = Path.left(2).toUpper();
    return drive == QLatin1String("A:") || drive == QLatin1String("B:");
}

bool SameFile(const QString& A, const QString& B) {
    namespace fs = std::filesystem;
    const fs::path a = A.toStdString(), b = B.toStdString();
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
    return fs::absolute(a, ec).lexically_normal() == fs::absolute(b, ec).lexically_normal();
}
