// The orders of the two list views: by name without regard to case, by size as numbers, by
// date as text, stable for equal keys, and a re-sort that keeps the selection on its entries.

#include "client/tarn_main.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

std::vector<std::string> Captions(const TListingModel &Model)
{
    std::vector<std::string> captions;
    for (int row = 0; row < Model.Count(); ++row)
        captions.push_back(Model.Entry(row).Caption);
    return captions;
}

TEST(ListingModel, FileViewOrdersByEachColumn)
{
    TListingModel files(lkFiles);
    files.SetEntries({{"beta.txt", "10", "Jan 02 10:00"},
                      {"Alpha.txt", "9", "Feb 01 09:00"},
                      {"gamma.txt", "100", "Apr 30 08:00"},
                      {"alpha.TXT", "12345678901", "Jan 02 10:00"}});
    // By name (the start): case does not count, and equal names keep the listing's order.
    EXPECT_EQ(Captions(files),
              (std::vector<std::string>{"Alpha.txt", "alpha.TXT", "beta.txt", "gamma.txt"}));

    files.SetSortColumn("Size"); // 9 < 10 < 100; eleven digits compare on their last ten
    EXPECT_EQ(Captions(files),
              (std::vector<std::string>{"Alpha.txt", "beta.txt", "gamma.txt", "alpha.TXT"}));

    files.SetSortColumn("Date"); // dates order as text: "Apr" before "Feb" before "Jan"
    EXPECT_EQ(Captions(files),
              (std::vector<std::string>{"gamma.txt", "Alpha.txt", "beta.txt", "alpha.TXT"}));

    // A new listing keeps the column: entries arrive sorted by date.
    files.SetEntries({{"b", "1", "2"}, {"a", "1", "1"}});
    EXPECT_EQ(Captions(files), (std::vector<std::string>{"a", "b"}));
}

TEST(ListingModel, DirViewOrdersByNameOrType)
{
    TListingModel directories(lkDirectories);
    directories.SetEntries({{"QGPL.LIB", "*LIB", ""},
                            {"..", "*Parent", ""},
                            {"home", "<dir>", ""},
                            {"DEMOLIB.LIB", "*LIB", ""}});
    EXPECT_EQ(Captions(directories),
              (std::vector<std::string>{"..", "DEMOLIB.LIB", "home", "QGPL.LIB"}));
    directories.SetSortColumn("Type"); // "*LIB" < "*PARENT" < "<DIR>"; equal types stay
    EXPECT_EQ(Captions(directories),
              (std::vector<std::string>{"DEMOLIB.LIB", "QGPL.LIB", "..", "home"}));
}

TEST(ListingModel, AReSortKeepsTheSelectionOnItsEntries)
{
    TListView files(lkFiles);
    files.Model.SetEntries({{"c", "1", ""}, {"a", "3", ""}, {"b", "2", ""}});
    // Select "c" (row 2 by name) and "a" (row 0).
    files.Selection.select(files.Model.index(2, 0),
                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    files.Selection.select(files.Model.index(0, 0),
                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(files.FirstSelectedRow(), 0);

    files.Model.SetSortColumn("Size"); // c (1), b (2), a (3)
    std::vector<std::string> selected;
    for (const QModelIndex &index : files.Selection.selectedRows())
        selected.push_back(files.Model.Entry(index.row()).Caption);
    std::sort(selected.begin(), selected.end());
    EXPECT_EQ(selected, (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(files.Model.Entry(files.FirstSelectedRow()).Caption, "c");

    // A new listing empties the selection.
    files.Model.SetEntries({{"x", "1", ""}});
    EXPECT_EQ(files.FirstSelectedRow(), -1);
}

} // namespace
} // namespace tarn
