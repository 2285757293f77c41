#include "DialogDriver.h"

#include "ui/LmOpenSaveComm.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTimer>
#include <memory>

namespace testsupport {

int RunModal(QDialog& Dialog, std::vector<std::function<void()>> Steps) {
    auto steps = std::make_shared<std::vector<std::function<void()>>>(std::move(Steps));
    auto next = std::make_shared<std::function<void(std::size_t)>>();
    *next = [&Dialog, steps, next](std::size_t Index) {
        if (!Dialog.isVisible()) return;
        if (Index == steps->size()) {
            Dialog.done(StillOpen);
            return;
        }
        (*steps)[Index]();
        QTimer::singleShot(0, &Dialog, [next, Index] {
            if (*next) (*next)(Index + 1);
        });
    };
    QTimer::singleShot(0, &Dialog, [next] { (*next)(0); });
    const int result = Dialog.exec();
    *next = nullptr; // breaks the cycle
    return result;
}

void AnswerFileDialog(const QString& Text, std::function<void(TLmCustomOpenDialog&)> Check) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, Text, Check] {
        TLmCustomOpenDialog* dialog = TLmCustomOpenDialog::Current();
        if (!dialog || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        if (Check) Check(*dialog);
        // Typing a name drops the files selected in the lists, as the dialog does for a user.
        for (QAbstractItemView* view : dialog->findChildren<QAbstractItemView*>())
            if (view->selectionModel()) view->selectionModel()->clearSelection();
        Find<QLineEdit>(*dialog, "fileNameEdit")->setText(Text);
        dialog->Press(1);
    });
    timer->start();
}

} // namespace testsupport
