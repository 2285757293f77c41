// The editor of one place of the places bar: where it leads (a folder, a per-user registry
// value naming a folder, or a special folder), its caption and hint, and its normal and
// selected icons picked from an icon library.
#pragma once

#include "ui/LmPlacesBar.h"

#include <QDialog>
#include <QIcon>
#include <QList>
#include <memory>

namespace Ui {
class TLmAddPlaceFrm;
}

class TLmAddPlaceFrm : public QDialog {
    Q_OBJECT
public:
    // Adding: the form asks for a new place ("New Places Bar item"), else it changes one.
    TLmAddPlaceFrm(QWidget* Parent, bool Adding);
    ~TLmAddPlaceFrm() override;

    std::unique_ptr<Ui::TLmAddPlaceFrm> ui;
    // Where the form's messages go (a message box when unset).
    std::function<void(const QString& Caption, const QString& Text)> OnMessage;

    void SetPlace(const TLmPlace& Place);
    TLmPlace Place() const;
    // Fills both icon grids from the library named in the form; false, after telling the
    // user, when it holds no icon.
    bool LoadIcons();

private:
    void TargetTypeChanged(int Index);
    void BrowseLibrary();
    void FillIcons(const QList<QIcon>& Icons);
};

// The icons of an icon library: the images of a file (an .ico holds several), or, for the
// system's own library "shell32.dll", the desktop theme's icons of places.
QList<QIcon> LibraryIcons(const QString& Library);
