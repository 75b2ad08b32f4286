#pragma once

#include <QAbstractTableModel>
#include <QVariant>
#include <string>
#include <vector>

namespace tarn {

// One entry of a list view.
struct TListEntry
{
    std::string Caption;
    std::string Size; // DirView: the Type column
    std::string Date; // FileView only
};

enum TListKind {
    lkDirectories, // DirView: "Directories", "Type"
    lkFiles,       // FileView: "Name", "Size", "Date"
};

class TListingModel;

// Entries in the order of one column, ready to be shown. Sorting needs no model and no event
// loop, so a big listing can be sorted on a thread of its own (TListingModel::Sort).
class TSortedEntries
{
public:
    std::size_t Count() const { return FRows.size(); }

private:
    friend class TListingModel;
    struct TRow
    {
        TListEntry Entry;
        std::string Key; // what the sort column compares
    };
    std::string FColumn;
    std::vector<TRow> FRows;
};

// The entries of one of the two list views, kept in the order of the view's sort column.
//
// Entries are replaced all at once (SetEntries), sorted beforehand, with one model reset: a
// listing of 100,000 entries costs one sort and no per-row signal. Changing the sort column
// re-sorts in place (a layout change that keeps the selection on its entries). Sorting is
// stable: entries that compare equal keep the order they were given in.
//
// Orders: "Directories", "Type", "Name" and "Date" compare their texts without regard to the
// case of a to z (CompareNoCase); "Size" compares as ten-digit numbers (CompareSizeText); any
// other column leaves the order as given. Always ascending.
class TListingModel : public QAbstractTableModel
{
public:
    explicit TListingModel(TListKind Kind, QObject *Parent = nullptr);

    // The captions of a kind's columns, in column order.
    static const std::vector<std::string> &ColumnsOf(TListKind Kind);
    // Sorts entries for a column of a kind; callable on any thread.
    static TSortedEntries Sort(TListKind Kind, const std::string &Column,
                               std::vector<TListEntry> Entries);

    // Shown beside every entry (the directory or the file picture); the window sets it.
    QVariant Picture;

    // Shows these entries instead of the ones shown; sorted again if the sort column changed
    // since they were sorted.
    void SetEntries(TSortedEntries Sorted);
    void SetEntries(std::vector<TListEntry> Entries);
    void Clear();
    int Count() const { return int(FRows.size()); }
    const TListEntry &Entry(int Row) const { return FRows[std::size_t(Row)].Entry; }

    TListKind Kind() const { return FKind; }
    const std::vector<std::string> &Columns() const { return ColumnsOf(FKind); }
    const std::string &SortColumn() const { return FSortColumn; }
    void SetSortColumn(const std::string &Caption);

    int rowCount(const QModelIndex &Parent = {}) const override;
    int columnCount(const QModelIndex &Parent = {}) const override;
    QVariant data(const QModelIndex &Index, int Role) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;

private:
    using TRow = TSortedEntries::TRow;

    // Sorts rows for a column; returns the new row of each old row.
    static std::vector<std::size_t> SortRows(TListKind Kind, const std::string &Column,
                                             std::vector<TRow> &Rows);

    TListKind FKind;
    std::string FSortColumn;
    std::vector<TRow> FRows;
};

} // namespace tarn
