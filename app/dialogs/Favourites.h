// The favourite folders: their store (one string value per folder, "Fav1".."FavN" in the
// user's order) and the dialog that reorders and removes them. Adding one is the main window's.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TfmFavourites;
}

inline constexpr const char* FavouritesKey = "\\Software\\Quillar\\Favourites";

// The stored favourites in their order: the "Fav" + number values by number (Fav10 after Fav9,
// whatever order the store lists them in), then any other string values in the store's order.
std::vector<std::string> ReadFavourites();
// True when the store holds exactly Paths as Fav1..FavN and nothing else.
bool FavouritesStoredAs(const std::vector<std::string>& Paths);
// Replaces the whole favourites key by Paths as Fav1..FavN; false when the store could not be
// written.
bool WriteFavourites(const std::vector<std::string>& Paths);

class TfmFavourites : public QDialog {
    Q_OBJECT
public:
    explicit TfmFavourites(QWidget* Parent = nullptr);
    ~TfmFavourites() override;

    std::unique_ptr<Ui::TfmFavourites> ui;

    // The full paths of the lines, in list order.
    std::vector<std::string> Paths() const;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void AddLine(const QString& Path);
    // Each line shows its path shortened in the middle to the list's width.
    void ShortenLines();
    void MoveSelected(int Step);
    void RemoveClick();
    void OkClick();
};
