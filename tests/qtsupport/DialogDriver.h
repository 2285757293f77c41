// Runs a modal dialog with scripted steps: each step runs inside exec() in turn; a dialog still
// open after the last step is closed with StillOpen, so "stays open" is a result a test can see.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

namespace testsupport {

inline constexpr int StillOpen = -1;

int RunModal(QDialog& Dialog, std::vector<std::function<void()>> Steps);

// The child of Parent with this objectName and type; fails the test when there is none.
template <typename T> T* Find(QObject& Parent, const char* Name);

// Runs Step on the next visible modal dialog of type T, once: for dialogs that the code under
// test makes and shows itself.
template <typename T> void AnswerNext(std::function<void(T&)> Step);

} // namespace testsupport

#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

template <typename T> T* testsupport::Find(QObject& Parent, const char* Name) {
    T* child = Parent.findChild<T*>(Name);
    EXPECT_NE(child, nullptr) << "no control " << Name;
    return child;
}

template <typename T> void testsupport::AnswerNext(std::function<void(T&)> Step) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, [timer, Step] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        Step(*dialog);
    });
    timer->start();
}
