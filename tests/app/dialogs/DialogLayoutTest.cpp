#include "app/dialogs/About.h"
#include "app/dialogs/AddBottom.h"
#include "app/dialogs/AddOptionsBottom.h"
#include "app/dialogs/AssociateDlg.h"
#include "app/dialogs/BackupEditor.h"
#include "app/dialogs/Batch.h"
#include "app/dialogs/Checkout.h"
#include "app/dialogs/Comment.h"
#include "app/dialogs/ConvertArc.h"
#include "app/dialogs/ExtractDlg.h"
#include "app/dialogs/Favourites.h"
#include "app/dialogs/Find.h"
#include "app/dialogs/GetPassword.h"
#include "app/dialogs/ManageBackup.h"
#include "app/dialogs/OverwriteDlg.h"
#include "app/dialogs/Password.h"
#include "app/dialogs/Progress.h"
#include "app/dialogs/Properties.h"
#include "app/dialogs/RenameFile.h"
#include "app/dialogs/UUEncode.h"
#include "app/dialogs/ViewOutput.h"
#include "app/dialogs/ViewerSelection.h"
#include "engine/formats/zip/krvZip.h"
#include "ui/LmAddPlaceFrm.h"
#include "ui/LmOpenDlg.h"

#include "RegistrySandbox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// Every visible control lies inside its form and shows its whole caption. With QUILLAR_SHOT_DIR
// set, the form is also saved there as <form>.png for a person to look at.
void CheckForm(QWidget& Form) {
    Form.show();
    QApplication::processEvents();
    const QString name = Form.objectName();
    const QRect inside = Form.rect();
    for (QWidget* child : Form.findChildren<QWidget*>()) {
        if (!child->isVisibleTo(&Form) || child->objectName().startsWith("qt_") ||
            child->objectName().isEmpty())
            continue;
        const QRect rect(child->mapTo(&Form, QPoint(0, 0)), child->size());
        EXPECT_TRUE(inside.contains(rect)) << name.toStdString() << ": " << child->objectName().toStdString();
        EXPECT_FALSE(rect.isEmpty()) << name.toStdString() << ": " << child->objectName().toStdString();
        const auto* button = qobject_cast<QAbstractButton*>(child);
        const auto* label = qobject_cast<QLabel*>(child);
        if (((button && !button->text().isEmpty()) || (label && !label->wordWrap())) &&
            child->minimumSizeHint().isValid()) {
            EXPECT_GE(child->width(), child->minimumSizeHint().width())
                << name.toStdString() << ": " << child->objectName().toStdString() << " is cut";
        }
    }
    if (const QByteArray dir = qgetenv("QUILLAR_SHOT_DIR"); !dir.isEmpty()) {
        QDir().mkpath(QString::fromLocal8Bit(dir));
        Form.grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
    }
    Form.hide();
}

} // namespace

TEST(DialogLayout, EveryFormShowsAllOfItsControls) {
    RegistrySandbox sandbox;
    TZip zip;
    std::vector<std::function<std::unique_ptr<QWidget>()>> forms = {
        [] { return std::make_unique<TfmExtractDlg>(); },
        [] { return std::make_unique<TfmOverwriteDlg>(); },
        [] { return std::make_unique<TfmRenameFile>(); },
        [] { return std::make_unique<TfmGetPassword>(); },
        [] { return std::make_unique<TfmPassword>(); },
        [] { return std::make_unique<TfmAddBottom>(); },
        [] { return std::make_unique<TfmAddOptionsBottom>(); },
        [&] { return std::make_unique<TfmComment>(zip); },
        [] { return std::make_unique<TfmProperties>(); },
        [] { return std::make_unique<TfmUUEncode>(); },
        [] { return std::make_unique<TfmConvertArc>(); },
        [] { return std::make_unique<TfmCheckout>(); },
        [] { return std::make_unique<TfmProgress>(); },
        [] { return std::make_unique<TfmViewerSelection>(); },
        [] { return std::make_unique<TfmAssociateDlg>(); },
        [] { return std::make_unique<TfmViewOutput>(); },
        [] { return std::make_unique<TfmFind>(); },
        [] { return std::make_unique<TfmFavourites>(); },
        [] { return std::make_unique<TLmAddPlaceFrm>(nullptr, false); },
        [] { return std::make_unique<TfmAbout>(); },
        [] { return std::make_unique<TfmManageBackup>(); },
        [] { return std::make_unique<TfmBackupEditor>(); },
        [] {
            auto batch = std::make_unique<TfmBatch>();
            batch->SetupBatchOperation(1);
            return batch;
        },
    };
    for (const auto& make : forms) {
        std::unique_ptr<QWidget> form = make();
        CheckForm(*form);
    }
}

// The add-files dialog as the program shows it: its panel docked at the bottom.
TEST(DialogLayout, AddDialogWithItsPanel) {
    RegistrySandbox sandbox;
    TfmAddBottom panel;
    TLmOpenDialog dialog;
    dialog.setObjectName("AddFilesDialog");
    dialog.Title = "Select Files to Add";
    dialog.Filter = "All Files (*.*)|*.*";
    dialog.DlgItemsCaptions.OK = "&Add";
    dialog.PlacesBar.Visible = false;
    dialog.DlgParams.SetBottomFormName("fmAddBottom");
    QTimer::singleShot(0, &dialog, [&] {
        dialog.resize(760, 520);
        CheckForm(dialog);
        dialog.show();
        dialog.Press(2);
    });
    dialog.Execute();
}
