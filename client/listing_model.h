#pragma once

#include <QAbstractTableModel>
#include <QVariant>
#include <string>
#include <vector>

namespace tarn {

// The entries of one of the two list views, kept in the order of the view's sort column.
//
// DirView shows the columns "Directories" and "Type" (the type or size text of a directory),
// FileView "Name", "Size" and "Date". Entries are replaced all at once by SetEntries, which
// sorts them once and resets the model, so a listing of 100,000 entries costs one sort and no
// per-row signal. Changing the sort column re-sorts in place (a layout change that keeps the
// selection). Sorting is stable: entries that compare equal keep the order they were given in.
//
// Orders: "Directories", "Name" and "Date" compare their texts without regard to the case of
// a to z (CompareNoCase); "Type" likewise; "Size" compares as ten-digit numbers
// (CompareSizeText); any other column leaves the order as given. Always ascending.
class TListingModel : public QAbstractTableModel
{
public:
    enum TListKind { lkDirectories, lkFiles };

    struct TEntry
    {
        std::string Caption;
        std::string Size; // DirView: the Type column
        std::string Date; // FileView only
    };

    explicit TListingModel(TListKind Kind, QObject *Parent = nullptr);

    // Shown beside every entry (the directory or the file picture); the window sets it.
    QVariant Picture;

    void SetEntries(std::vector<TEntry> Entries);
    void Clear();
    int Count() const { return int(FRows.size()); }
    const TEntry &Entry(int Row) const { return FRows[std::size_t(Row)].Entry; }

    // The captions of the columns, in column order.
    const std::vector<std::string> &Columns() const { return FColumns; }
    const std::string &SortColumn() const { return FSortColumn; }
    void SetSortColumn(const std::string &Caption);

    int rowCount(const QModelIndex &Parent = {}) const override;
    int columnCount(const QModelIndex &Parent = {}) const override;
    QVariant data(const QModelIndex &Index, int Role) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;

private:
    struct TRow
    {
        TEntry Entry;
        std::string Key; // what the sort column compares, computed once per sort column
    };

    std::string KeyOf(const TEntry &Entry) const;
    bool SortsByKey() const;
    // Sorts by the sort column; returns the new row of each old row.
    std::vector<std::size_t> SortRows();
    const std::string &Text(const TEntry &Entry, int Column) const;

    TListKind FKind;
    std::vector<std::string> FColumns;
    std::string FSortColumn;
    std::vector<TRow> FRows;
};

} // namespace tarn
