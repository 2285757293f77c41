// Favourite folders and finding entries in the list.
// Until its work lands, each command here tells the user it is not available.
#include "app/main/main_fm.h"
#include "ui_main_fm.h"

void TfmMain::ConnectFavouriteActions() {
    for (QAction* action : {ui->acAddFavourites, ui->acOrganizeFavorites, ui->acFind, ui->acFindNext})
        connect(action, &QAction::triggered, this, &TfmMain::CommandNotAvailable);
}
