#include "client/listing_model.h"

#include "client/list_parse.h"
#include "support/text.h"

#include <algorithm>
#include <numeric>

namespace tarn {

TListingModel::TListingModel(TListKind Kind, QObject *Parent)
    : QAbstractTableModel(Parent), FKind(Kind)
{
    if (Kind == lkDirectories)
        FColumns = {"Directories", "Type"};
    else
        FColumns = {"Name", "Size", "Date"};
    FSortColumn = FColumns.front();
}

void TListingModel::SetEntries(std::vector<TEntry> Entries)
{
    beginResetModel();
    FRows.clear();
    FRows.reserve(Entries.size());
    for (TEntry &entry : Entries)
        FRows.push_back({std::move(entry), {}});
    SortRows();
    endResetModel();
}

void TListingModel::Clear()
{
    SetEntries({});
}

void TListingModel::SetSortColumn(const std::string &Caption)
{
    FSortColumn = Caption;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // The selection and the current item follow their entries to their new rows.
    const QModelIndexList before = persistentIndexList();
    const std::vector<std::size_t> newRowOf = SortRows();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &old : before)
        after.push_back(index(int(newRowOf[std::size_t(old.row())]), old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int TListingModel::rowCount(const QModelIndex &Parent) const
{
    return Parent.isValid() ? 0 : Count();
}

int TListingModel::columnCount(const QModelIndex &Parent) const
{
    return Parent.isValid() ? 0 : int(FColumns.size());
}

QVariant TListingModel::data(const QModelIndex &Index, int Role) const
{
    if (!Index.isValid() || Index.row() >= Count())
        return {};
    const TEntry &entry = Entry(Index.row());
    switch (Role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: {
        const std::string &text = Text(entry, Index.column());
        return QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
    }
    case Qt::DecorationRole:
        return Index.column() == 0 ? Picture : QVariant();
    case Qt::TextAlignmentRole:
        // DirView's Type and FileView's Size are right-aligned.
        if (Index.column() == 1)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return {};
    default:
        return {};
    }
}

QVariant TListingModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
    if (Orientation != Qt::Horizontal || Section < 0 || Section >= columnCount())
        return {};
    if (Role == Qt::DisplayRole)
        return QString::fromLatin1(FColumns[std::size_t(Section)].c_str());
    if (Role == Qt::TextAlignmentRole && Section == 1)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    return {};
}

std::string TListingModel::KeyOf(const TEntry &Entry) const
{
    if (FKind == lkFiles && FSortColumn == "Size")
        return SizeSortKey(Entry.Size);
    if (FSortColumn == FColumns[0])
        return UpperCaseAscii(Entry.Caption);
    if (FSortColumn == FColumns[1])
        return UpperCaseAscii(Entry.Size);
    if (FKind == lkFiles && FSortColumn == "Date")
        return UpperCaseAscii(Entry.Date);
    return {};
}

bool TListingModel::SortsByKey() const
{
    return std::find(FColumns.begin(), FColumns.end(), FSortColumn) != FColumns.end();
}

std::vector<std::size_t> TListingModel::SortRows()
{
    for (TRow &row : FRows)
        row.Key = KeyOf(row.Entry);
    std::vector<std::size_t> order(FRows.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    if (SortsByKey()) {
        std::stable_sort(order.begin(), order.end(), [this](std::size_t A, std::size_t B) {
            return FRows[A].Key < FRows[B].Key;
        });
    }
    std::vector<std::size_t> newRowOf(FRows.size());
    std::vector<TRow> sorted;
    sorted.reserve(FRows.size());
    for (const std::size_t row : order) {
        newRowOf[row] = sorted.size();
        sorted.push_back(std::move(FRows[row]));
    }
    FRows = std::move(sorted);
    return newRowOf;
}

const std::string &TListingModel::Text(const TEntry &Entry, int Column) const
{
    if (Column == 0)
        return Entry.Caption;
    if (Column == 1)
        return Entry.Size;
    return Entry.Date;
}

} // namespace tarn
