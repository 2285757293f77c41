// Runs a modal dialog with scripted steps: each step runs inside exec() in turn; a dialog still
// open after the last step is closed with StillOpen, so "stays open" is a result a test can see.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>
#include <vector>

class TLmCustomOpenDialog;

namespace testsupport {

inline constexpr int StillOpen = -1;

int RunModal(QDialog& Dialog, std::vector<std::function<void()>> Steps);

// Answers the next modal dialog of type T that shows (inside a command under test) with Step,
// once.
template <typename T> void AnswerNext(std::function<void(T&)> Step);

// Fills the next file dialog's name box with Text and presses its OK button, once; Check looks
// at the dialog first.
void AnswerFileDialog(const QString& Text, std::function<void(TLmCustomOpenDialog&)> Check = {});

// The child of Parent with this objectName and type; fails the test when there is none.
template <typename T> T* Find(QObject& Parent, const char* Name);

} // namespace testsupport

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
