#include "app/main/QtEngineHost.h"

#include "app/dialogs/Prompter.h"

#include <QCoreApplication>
#include <QFile>
#include <QMimeDatabase>

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
    return QFile::moveToTrash(QString::fromStdString(Path));
}

std::string TQtEngineHost::DoFileTypeName(const std::string& Path) {
    return QMimeDatabase().mimeTypeForFile(QString::fromStdString(Path)).comment().toStdString();
}
