#include "app/dialogs/DialogSupport.h"

#include "app/dialogs/SettingValues.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QUrl>

void CloseWith(QAbstractButton* Button, QDialog* Dialog, int Result) {
    QObject::connect(Button, &QAbstractButton::clicked, Dialog, [Dialog, Result] { Dialog->done(Result); });
}

void ConnectHelp(QAbstractButton* Button, const QString& Topic) {
    QObject::connect(Button, &QAbstractButton::clicked, Button, [Topic] {
        // The data folder lies at <prefix>/share/quillar beside the program's <prefix>/bin.
        const QString page =
            QCoreApplication::applicationDirPath() + "/../share/quillar/help/" + Topic + ".html";
        QDesktopServices::openUrl(QUrl::fromLocalFile(page));
    });
}

QString& CurrentArchivePassword() {
    static QString password;
    return password;
}

bool ReadMaskPassword() {
    return ReadSettingBool("Others", "MaskPassword");
}

void WriteMaskPassword(bool Masked) {
    WriteSettingBool("Others", "MaskPassword", Masked);
}
