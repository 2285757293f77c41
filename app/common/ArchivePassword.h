// The password of the open archive: set by the password dialogs, used for adding and extracting,
// cleared by the main window when the archive is closed.
#pragma once

#include <QString>

QString& CurrentArchivePassword();
