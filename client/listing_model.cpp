#include "client/listing_model.h"

#include "client/list_parse.h"
#include "support/text.h"

#include <algorithm>
#include <cstdint>

namespace tarn {

namespace {

std::string KeyOf(TListKind Kind, const std::string &Column, const TListEntry &Entry)
{
    if (Column == "Directories" || Column == "Name")
        return UpperCaseAscii(Entry.Caption);
    if (Column == "Type" && Kind == lkDirectories)
        return UpperCaseAscii(Entry.Size);
    if (Column == "Size" && Kind == lkFiles)
        return SizeSortKey(Entry.Size);
    if (Column == "Date" && Kind == lkFiles)
        return UpperCaseAscii(Entry.Date);
    return {};
}

bool SortsBy(TListKind Kind, const std::string &Column)
{
    const std::vector<std::string> &columns = TListingModel::ColumnsOf(Kind);
    return std::find(columns.begin(), columns.end(), Column) != columns.end();
}

const std::string &TextOf(const TListEntry &Entry, int Column)
{
    if (Column == 0)
        return Entry.Caption;
    if (Column == 1)
        return Entry.Size;
    return Entry.Date;
}

} // namespace

TListingModel::TListingModel(TListKind Kind, QObject *Parent)
    : QAbstractTableModel(Parent), FKind(Kind), FSortColumn(ColumnsOf(Kind).front())
{
}

const std::vector<std::string> &TListingModel::ColumnsOf(TListKind Kind)
{
    static const std::vector<std::string> directories = {"Directories", "Type"};
    static const std::vector<std::string> files = {"Name", "Size", "Date"};
    return Kind == lkDirectories ? directories : files;
}

TSortedEntries TListingModel::Sort(TListKind Kind, const std::string &Column,
                                   std::vector<TListEntry> Entries)
{
    TSortedEntries sorted;
    sorted.FColumn = Column;
    sorted.FRows.reserve(Entries.size());
    for (TListEntry &entry : Entries)
        sorted.FRows.push_back({std::move(entry), {}});
    SortRows(Kind, Column, sorted.FRows);
    return sorted;
}

void TListingModel::SetEntries(TSortedEntries Sorted)
{
    if (Sorted.FColumn != FSortColumn)
        SortRows(FKind, FSortColumn, Sorted.FRows);
    beginResetModel();
    FRows = std::move(Sorted.FRows);
    endResetModel();
}

void TListingModel::SetEntries(std::vector<TListEntry> Entries)
{
    SetEntries(Sort(FKind, FSortColumn, std::move(Entries)));
}

void TListingModel::Clear()
{
    SetEntries(std::vector<TListEntry>());
}

void TListingModel::SetSortColumn(const std::string &Caption)
{
    FSortColumn = Caption;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // The selection and the current item follow their entries to their new rows.
    const QModelIndexList before = persistentIndexList();
    const std::vector<std::size_t> newRowOf = SortRows(FKind, FSortColumn, FRows);
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
    return Parent.isValid() ? 0 : int(Columns().size());
}

QVariant TListingModel::data(const QModelIndex &Index, int Role) const
{
    if (!Index.isValid() || Index.row() >= Count())
        return {};
    switch (Role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: {
        const std::string &text = TextOf(Entry(Index.row()), Index.column());
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
        return QString::fromLatin1(Columns()[std::size_t(Section)].c_str());
    if (Role == Qt::TextAlignmentRole && Section == 1)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    return {};
}

std::vector<std::size_t> TListingModel::SortRows(TListKind Kind, const std::string &Column,
                                                 std::vector<TRow> &Rows)
{
    // Sorted by the first eight bytes of each key as one number, and by the whole key only
    // where those are equal: most comparisons then touch no string.
    struct TSortKey
    {
        uint64_t Prefix;
        std::size_t Row;
    };
    std::vector<TSortKey> keys(Rows.size());
    for (std::size_t row = 0; row < Rows.size(); ++row) {
        const std::string &key = Rows[row].Key = KeyOf(Kind, Column, Rows[row].Entry);
        uint64_t prefix = 0;
        for (std::size_t i = 0; i < 8; ++i)
            prefix = prefix << 8 | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
        keys[row] = {prefix, row};
    }
    if (SortsBy(Kind, Column)) {
        std::stable_sort(keys.begin(), keys.end(), [&Rows](const TSortKey &A, const TSortKey &B) {
            if (A.Prefix != B.Prefix)
                return A.Prefix < B.Prefix;
            return Rows[A.Row].Key < Rows[B.Row].Key;
        });
    }
    std::vector<std::size_t> newRowOf(Rows.size());
    std::vector<TRow> sorted;
    sorted.reserve(Rows.size());
    for (const TSortKey &key : keys) {
        newRowOf[key.Row] = sorted.size();
        sorted.push_back(std::move(Rows[key.Row]));
    }
    Rows = std::move(sorted);
    return newRowOf;
}

} // namespace tarn
