// The archive list's model sorts on the rows' raw values: sizes beyond 2 and 4 GiB, dates,
// names without regard to case, folders; equal rows keep their order, and the selection
// follows its rows.
#include "app/main/ArchiveModel.h"

#include <QItemSelectionModel>
#include <gtest/gtest.h>

namespace {

TItemData Row(const char* Name, std::int64_t Unpacked, std::int64_t Packed, TDateTime Date, int Ratio = 0) {
    TItemData item;
    item.Name = Name;
    item.Unpacked = Unpacked;
    item.Packed = Packed;
    item.Date = Date;
    item.Ratio = Ratio;
    return item;
}

std::string Order(const TArchiveModel& Model) {
    std::string names;
    for (int r = 0; r < Model.rowCount(); ++r)
        names += (r ? " " : "") + Model.Item(r).Name;
    return names;
}

constexpr std::int64_t GiB = std::int64_t{1} << 30;

class ArchiveModelSort : public ::testing::Test {
protected:
    void SetUp() override { Fill(); }
    void Fill() {
        Model.Clear();
        Model.SetColumns({colFileName, colDate, colPacked, colUnpacked, colRatio, colFolder, colCRC});
        // Texts of these sizes sort in another order than the numbers; 32-bit numbers overflow.
        Model.Add(Row("b.iso", 5 * GiB, 4 * GiB + 7, 45000.5, 20), "disc/", "v");
        Model.Add(Row("A.txt", 100, 90, 45000.25, 10), "", "v");
        Model.Add(Row("c.bin", 2 * GiB + 1, 3 * GiB, 44000.0, 0), "Disc/", "v");
        Model.Add(Row("d.dat", 9, 9, 46000.0, 0), "alpha/", "v");
        Model.Add(Row("a.TXT", 100, 80, 45000.25, 11), "", "v");
        Model.Flush();
    }
    TArchiveModel Model;
};

TEST_F(ArchiveModelSort, SortsByRawValuesBothWays) {
    struct {
        TArchiveColumn Column;
        Qt::SortOrder SortOrder;
        const char* Expected;
    } const cases[] = {
        {colUnpacked, Qt::AscendingOrder, "d.dat A.txt a.TXT c.bin b.iso"},
        {colUnpacked, Qt::DescendingOrder, "b.iso c.bin A.txt a.TXT d.dat"},
        {colPacked, Qt::AscendingOrder, "d.dat a.TXT A.txt c.bin b.iso"},
        {colDate, Qt::AscendingOrder, "c.bin A.txt a.TXT b.iso d.dat"},
        {colRatio, Qt::DescendingOrder, "b.iso a.TXT A.txt c.bin d.dat"},
        // Names and folders without regard to case; equal ones keep their order.
        {colFileName, Qt::AscendingOrder, "A.txt a.TXT b.iso c.bin d.dat"},
        {colFolder, Qt::AscendingOrder, "A.txt a.TXT d.dat b.iso c.bin"},
    };
    for (const auto& c : cases) {
        // From the order of the listing each time.
        Fill();
        Model.sort(Model.ColumnIndex(c.Column), c.SortOrder);
        EXPECT_EQ(Order(Model), c.Expected) << ArchiveColumnInfo(c.Column).Caption << " " << c.SortOrder;
    }
    for (int r = 0; r < Model.rowCount(); ++r) {
        if (Model.Item(r).Name != "b.iso") continue;
        EXPECT_EQ(Model.CellText(r, colUnpacked), "5368709120");
        EXPECT_EQ(Model.data(Model.index(r, Model.ColumnIndex(colPacked)), TArchiveModel::RawValueRole)
                      .toLongLong(),
                  4 * GiB + 7);
        EXPECT_EQ(Model.CellText(r, colFolder), "disc/");
        EXPECT_EQ(Model.CellText(r, colCRC), "00000000");
    }
}

TEST_F(ArchiveModelSort, SelectionFollowsItsRows) {
    QItemSelectionModel selection(&Model);
    selection.select(Model.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows); // b.iso
    selection.select(Model.index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows); // d.dat
    Model.sort(Model.ColumnIndex(colUnpacked), Qt::AscendingOrder);
    std::vector<std::string> selected;
    for (const QModelIndex& index : selection.selectedRows())
        selected.push_back(Model.Item(index.row()).Name);
    std::sort(selected.begin(), selected.end());
    EXPECT_EQ(selected, (std::vector<std::string>{"b.iso", "d.dat"}));
}

} // namespace
