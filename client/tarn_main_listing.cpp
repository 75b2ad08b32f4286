// The listing of the current remote directory in the two list views, and moving through
// directories.

#include "client/listing_entries.h"
#include "client/local_name.h"
#include "client/run_aside.h"
#include "client/tarn_main.h"
#include "client/text_file.h"
#include "ftp/remote_names.h"
#include "support/text.h"

namespace tarn {

namespace {

// Gives a temporary name back to its generator (deleting the file) however the listing ends.
class TTempName
{
public:
    explicit TTempName(TTempGenerator &Generator) : Name(Generator.NewName()), FGenerator(Generator)
    {
    }
    ~TTempName() { FGenerator.FreeName(Name); }
    TTempName(const TTempName &) = delete;
    TTempName &operator=(const TTempName &) = delete;

    const std::string Name;

private:
    TTempGenerator &FGenerator;
};

} // namespace

std::string TTarnMain::NormalizeLibraryPath(const std::string &Path)
{
    return CollapseFirst(tarn::NormalizeLibraryPath(Path), "//");
}

std::string TTarnMain::PathFromPwdReply(const std::string &Reply)
{
    return CollapseFirst(tarn::PathFromPwdReply(Reply), "//");
}

void TTarnMain::DirectoryList()
{
    StateOnlineBusy();
    StartAnimation(acSearching);
    Call(&TFtpClient::Pwd);
    CurrentDir = PathFromPwdReply(ControlFtp.LastResponse());
    SetPanel(2, CurrentDir);
    std::optional<std::string> text;
    {
        const TTempName listing(TempFile);
        ControlFtp.HostFileName = CurrentDir;
        ControlFtp.LocalFileName = listing.Name;
        if (Call(&TFtpClient::Dir))
            text = ReadWholeFile(listing.Name);
    }
    if (text)
        ShowListing(std::move(*text));
    StateOnlineReady();
}

void TTarnMain::ShowListing(std::string Text)
{
    // Parsed and sorted aside: a listing of 100,000 lines would otherwise hold the window
    // still for longer than a blink.
    struct TSortedListing
    {
        TSortedEntries Directories;
        TSortedEntries Files;
    };
    TSortedListing sorted = RunAside(
        [Text = std::move(Text), Place = TListingPlace{ServerKind, CurrentDir, RootDir, LibList},
         DirColumn = DirView.Model.SortColumn(), FileColumn = FileView.Model.SortColumn()] {
            TListingEntries entries = ListingEntries(Text, Place);
            return TSortedListing{
                TListingModel::Sort(lkDirectories, DirColumn, std::move(entries.Directories)),
                TListingModel::Sort(lkFiles, FileColumn, std::move(entries.Files))};
        });
    DirView.Model.SetEntries(std::move(sorted.Directories));
    FileView.Model.SetEntries(std::move(sorted.Files));
}

void TTarnMain::ChangeToDirectory()
{
    CurrentDir = NormalizeLibraryPath(CurrentDir);
    StateOnlineBusy();
    ControlFtp.HostDirName = CurrentDir;
    Call(&TFtpClient::Cwd);
    Record("CHDIR " + CurrentDir);
    DirectoryList();
    StateOnlineReady();
}

void TTarnMain::ChangeToParent()
{
    // Busy already while CDUP waits, so that no second operation starts meanwhile.
    StateOnlineBusy();
    Call(&TFtpClient::CDup);
    Record("CDUP");
    DirectoryList();
}

void TTarnMain::DirViewDblClick()
{
    // Not while another operation runs (a listing being sorted leaves the engine idle).
    const int row = DirView.FirstSelectedRow();
    if (row < 0 || !CanStart())
        return;
    const TOperation operation(*this);
    const std::string caption = DirView.Model.Entry(row).Caption;
    if (caption == "..") {
        ChangeToParent();
        return;
    }
    CurrentDir += CurrentDir.ends_with('/') ? caption : "/" + caption;
    CurrentDir = CollapseFirst(CurrentDir, "//");
    ChangeToDirectory();
}

void TTarnMain::FileViewDblClick()
{
    const int row = FileView.FirstSelectedRow();
    if (row < 0)
        return;
    SetField(cfAS400File, ListedName(FileView, row));
    SetField(
        cfPCFile,
        CollapseFirst(DownloadDir + "/" + LocalNameOf(FileView.Model.Entry(row).Caption), "//"));
}

void TTarnMain::DirViewColumnClick(int Column)
{
    const auto &columns = DirView.Model.Columns();
    if (Column >= 0 && std::size_t(Column) < columns.size())
        DirView.Model.SetSortColumn(columns[std::size_t(Column)]);
}

void TTarnMain::FileViewColumnClick(int Column)
{
    const auto &columns = FileView.Model.Columns();
    if (Column >= 0 && std::size_t(Column) < columns.size())
        FileView.Model.SetSortColumn(columns[std::size_t(Column)]);
}

void TTarnMain::DirViewEnter()
{
    FocusedView = 'D';
}

void TTarnMain::FileViewEnter()
{
    FocusedView = 'F';
}

void TTarnMain::PCFileEnter()
{
    FileView.Selection.clearSelection();
}

} // namespace tarn
