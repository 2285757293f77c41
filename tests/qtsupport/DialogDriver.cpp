#include "DialogDriver.h"

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

} // namespace testsupport
