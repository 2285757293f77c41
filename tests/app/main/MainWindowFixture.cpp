#include "MainWindowFixture.h"

#include "app/dialogs/DialogSupport.h"

#include "app/common/AppSettings.h"
#include "app/common/SettingValues.h"
#include "app/main/ArchiveModel.h"
#include "platform/Registry.h"
#include "ui/LmOpenSaveComm.h"

#include "DialogDriver.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>

namespace testsupport {

MainWindowTest::MainWindowTest()
    : FHome("HOME", FRegistry.Dir().Str().c_str()),
      FData("XDG_DATA_HOME", (FRegistry.Dir() / "data").c_str()) {
    FPrompter.Prompter().DefaultsAllowed = false;
    // A new window starts without an archive password, as the program does.
    CurrentArchivePassword().clear();
    // The association bookkeeping of an installation that neither asks nor checks: the window
    // tests meet no association question unless they ask for it.
    TRegistry machine(TRegRoot::LocalMachine);
    if (machine.OpenKey("\\Software\\Quillar\\FileAssociations", true))
        machine.WriteValues(
            {{"CheckAssociations", rdInteger, {}, 0}, {"EnableAssociations", rdInteger, {}, 0}});
}

TfmMain& MainWindowTest::Open(const QStringList& Arguments) {
    FWindow = std::make_unique<TfmMain>(Arguments);
    FWindow->show();
    QElapsedTimer clock;
    clock.start();
    while (!FWindow->StartupDone() && clock.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    WaitIdle();
    return *FWindow;
}

bool MainWindowTest::ExtractAll(const std::string& Archive, const std::string& Folder, bool Confirm,
                                bool ShowResult) {
    TExtractOptions options;
    options.Archive = QString::fromStdString(Archive);
    options.Folder = QString::fromStdString(Folder);
    options.RestoreFileAttr = false;
    options.ConfirmOverwrites = Confirm;
    return FWindow->RunExtraction(options, ShowResult).Refusal == TExtractRefusal::None;
}

int MainWindowTest::AddFiles(const std::string& Archive, const std::vector<std::string>& Files,
                             int Compression, TSwitch Switch, bool ShowResult) {
    TAddOptions options;
    options.Archive = QString::fromStdString(Archive);
    for (const std::string& file : Files)
        options.Files << QString::fromStdString(file);
    options.Compression = Compression;
    options.StoredDirNames = sdNone;
    options.Switch = Switch;
    const TAddResult result = FWindow->RunAdd(options, ShowResult);
    if (result.Refusal == TAddRefusal::NoFiles) return -1;
    return result.Refusal == TAddRefusal::None ? result.Done : 0;
}

void MainWindowTest::Display(const std::string& Archive) {
    FWindow->DisplayArchive(QString::fromStdString(Archive));
    WaitIdle();
}

void MainWindowTest::WaitIdle() {
    QElapsedTimer clock;
    clock.start();
    while (FWindow->Listing() && clock.elapsed() < 60000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    QApplication::processEvents();
}

QTreeView& MainWindowTest::List() {
    auto* list = FWindow->findChild<QTreeView*>(QStringLiteral("dfelvArchiveView"));
    EXPECT_NE(list, nullptr);
    return *list;
}

QAction& MainWindowTest::Action(const char* Name) {
    auto* action = FWindow->findChild<QAction*>(QString::fromLatin1(Name));
    EXPECT_NE(action, nullptr) << Name;
    return *action;
}

int MainWindowTest::Column(const QString& Caption) {
    const QAbstractItemModel* model = List().model();
    for (int c = 0; c < model->columnCount(); ++c)
        if (model->headerData(c, Qt::Horizontal).toString() == Caption) return c;
    return -1;
}

QString MainWindowTest::Cell(int Row, const QString& Caption) {
    const QAbstractItemModel* model = List().model();
    return model->data(model->index(Row, Column(Caption))).toString();
}

QVariant MainWindowTest::Raw(int Row, const QString& Caption) {
    const QAbstractItemModel* model = List().model();
    return model->data(model->index(Row, Column(Caption)), TArchiveModel::RawValueRole);
}

int MainWindowTest::Rows() {
    return List().model()->rowCount();
}

int MainWindowTest::RowOf(const std::string& Path) {
    const auto& model = static_cast<const TArchiveModel&>(*List().model());
    for (int row = 0; row < model.rowCount(); ++row) {
        const TItemData& item = model.Item(row);
        if (model.Folder(item) + item.Name == Path) return row;
    }
    return -1;
}

void MainWindowTest::ShowAllColumns() {
    for (const char* name :
         {"ColDate", "ColPacked", "ColUnpacked", "ColRatio", "ColMethod", "ColAttributes", "ColPath",
          "ColFileType", "ColCRC", "ColFileOffset", "ColEncrypted", "ColVolumeID", "ColFileComment"})
        WriteSettingBool("View", name, true);
}

bool SawPrompt(const ScriptedPrompter& Prompter, const QString& Start) {
    for (const TPrompt& prompt : Prompter.Prompts)
        if (prompt.Text.startsWith(Start)) return true;
    return false;
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
