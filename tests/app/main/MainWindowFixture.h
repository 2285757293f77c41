// A main window in a private home for each test: the registry, the home, data and desktop
// folders lie in a fresh temporary folder, questions are answered by a scripted prompter, and
// the window is found and read through its controls' object names.
#pragma once

#include "RegistrySandbox.h"
#include "ScriptedPrompter.h"
#include "TestSupport.h"

#include "app/main/main_fm.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

class QTreeView;
class QAction;
class TLmCustomOpenDialog;

namespace testsupport {

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest();

    // Makes the window with these command-line arguments, shows it and waits until its
    // start-up work (and the listing of an archive argument) is done.
    TfmMain& Open(const QStringList& Arguments = {});
    // Lists Archive in the open window, as the open command does.
    void Display(const std::string& Archive);
    // Waits until the window lists nothing.
    void WaitIdle();

    QTreeView& List();
    QAction& Action(const char* Name);
    // The column with that caption, -1 when it is not shown.
    int Column(const QString& Caption);
    QString Cell(int Row, const QString& Caption);
    QVariant Raw(int Row, const QString& Caption);
    int Rows();
    // The row whose folder and name make Path ('/' between folders), -1 when none.
    int RowOf(const std::string& Path);
    // Switches every optional column on, in the registry the window loads at its start.
    static void ShowAllColumns();
    // The window's run of an extraction of every entry of Archive into Folder (stored folders
    // made, attributes not restored, overwrites asked when Confirm); false when it could not
    // start.
    bool ExtractAll(const std::string& Archive, const std::string& Folder, bool Confirm, bool ShowResult);
    // The window's run of an add: the count added, 0 when the archive takes no files, -1
    // when none of Files exists.
    int AddFiles(const std::string& Archive, const std::vector<std::string>& Files, int Compression,
                 TSwitch Switch, bool ShowResult);

    RegistrySandbox FRegistry;
    EnvGuard FHome;
    EnvGuard FData;
    ScriptedPrompterGuard FPrompter;
    std::unique_ptr<TfmMain> FWindow;
};

// Whether a prompt whose text starts with Start was asked.
bool SawPrompt(const ScriptedPrompter& Prompter, const QString& Start);

// Fills the next file dialog's name box with Text and presses its OK button, once; Check looks
// at the dialog first.
void AnswerFileDialog(const QString& Text, std::function<void(TLmCustomOpenDialog&)> Check = {});

} // namespace testsupport
