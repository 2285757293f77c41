// Runs a modal dialog with scripted steps: each step runs inside exec() in turn; a dialog still
// open after the last step is closed with StillOpen, so "stays open" is a result a test can see.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <vector>

namespace testsupport {

inline constexpr int StillOpen = -1;

int RunModal(QDialog& Dialog, std::vector<std::function<void()>> Steps);

// Answers the next modal dialog of type T that the code under test opens itself: once such a
// dialog is the active modal widget, Answer runs inside its event loop (fill it, click a button;
// a dialog Answer leaves open is closed with StillOpen). Set it up before the call that shows
// the dialog; with none shown within TimeoutMs the waiting stops and Answer never runs. Deleting
// the returned waiter stops it at once (it is gone once it answered).
template <typename T> QPointer<QTimer> AnswerNextModal(std::function<void(T&)> Answer, int TimeoutMs = 20000);
// The untyped form: Match picks the dialog.
QPointer<QTimer> AnswerNextModal(std::function<bool(QWidget&)> Match, std::function<void(QWidget&)> Answer,
                                 int TimeoutMs);

// The child of Parent with this objectName and type; fails the test when there is none.
template <typename T> T* Find(QObject& Parent, const char* Name);

} // namespace testsupport

#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

template <typename T>
QPointer<QTimer> testsupport::AnswerNextModal(std::function<void(T&)> Answer, int TimeoutMs) {
    return AnswerNextModal([](QWidget& Widget) { return qobject_cast<T*>(&Widget) != nullptr; },
                           [Answer](QWidget& Widget) { Answer(*qobject_cast<T*>(&Widget)); }, TimeoutMs);
}

template <typename T> T* testsupport::Find(QObject& Parent, const char* Name) {
    T* child = Parent.findChild<T*>(Name);
    EXPECT_NE(child, nullptr) << "no control " << Name;
    return child;
}
