#include "DialogDriver.h"

#include <QApplication>
#include <QElapsedTimer>
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

QPointer<QTimer> AnswerNextModal(std::function<bool(QWidget&)> Match, std::function<void(QWidget&)> Answer,
                                 int TimeoutMs) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(0);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, Match, Answer, TimeoutMs] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || !Match(*modal)) {
            if (clock->elapsed() > TimeoutMs) timer->deleteLater();
            return;
        }
        timer->stop();
        timer->deleteLater();
        Answer(*modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && dialog->isVisible())
            dialog->done(StillOpen);
    });
    timer->start();
    return timer;
}

} // namespace testsupport
