#include "app/main/QtEngineHost.h"

#include "app/common/Prompter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QStandardPaths>

void TQtEngineHost::DoPump() {
    QCoreApplication::processEvents();
}

int TQtEngineHost::DoAsk(const std::string& Text, TAskButtons Buttons) {
    static constexpr TMsgDlgButtons ButtonSets[] = {mbOK, mbOK | mbCancel, mbYes | mbNo,
                                                    mbYes | mbNo | mbCancel, mbRetry | mbCancel};
    const TMsgDlgButtons buttons = ButtonSets[Buttons];
    return MessageDlg(QString::fromStdString(Text), buttons == mbOK ? mtInformation : mtConfirmation,
                      buttons);
}

bool TQtEngineHost::DoMoveToTrash(const std::string& Path) {
    // Qt looks for the home trash only in a data folder that exists; without one it would make
    // a trash relative to the current folder.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    return QFile::moveToTrash(QString::fromStdString(Path));
}

std::string TQtEngineHost::DoFileTypeName(const std::string& Path) {
    return QMimeDatabase().mimeTypeForFile(QString::fromStdString(Path)).comment().toStdString();
}
