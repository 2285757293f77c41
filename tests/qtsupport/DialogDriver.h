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

} // namespace testsupport

#include <gtest/gtest.h>

template <typename T> T* testsupport::Find(QObject& Parent, const char* Name) {
    T* child = Parent.findChild<T*>(Name);
    EXPECT_NE(child, nullptr) << "no control " << Name;
    return child;
}
