// The listing of the current remote directory in the two list views, and moving through
// directories.

#include "client/local_name.h"
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
    {
        const TTempName listing(TempFile);
        ControlFtp.HostFileName = CurrentDir;
        ControlFtp.LocalFileName = listing.Name;
        if (Call(&TFtpClient::Dir))
            ShowListing(ReadWholeFile(listing.Name).value_or(""));
    }
    StateOnlineReady();
}

void TTarnMain::ShowListing(std::string_view Text)
{
    std::vector<TListingModel::TEntry> directories;
    std::vector<TListingModel::TEntry> files;
    if (CurrentDir != "/" && CurrentDir != "\\" && CurrentDir != RootDir)
        directories.push_back({"..", "*Parent", {}});
    ForEachLine(Text, [&](std::string_view Line) {
        TListLine entry = ParseListLine(ServerKind, Line);
        if (!entry.Valid)
            return;
        if (entry.Directory) {
            directories.push_back(
                {std::move(entry.Name), entry.Size == "0" ? "<dir>" : std::move(entry.Size), {}});
        } else {
            files.push_back({std::move(entry.Name), std::move(entry.Size), std::move(entry.Date)});
        }
    });
    // The root of the library file system ("/QSYS.LIB", "/QSYS.LIB/") also shows the libraries
    // of the library list.
    if (UpperCaseAscii(CurrentDir).find("QSYS.LIB") != std::string::npos &&
        CurrentDir.size() <= 10) {
        for (const std::string &library : LibList)
            directories.push_back({library, "*LIB", {}});
    }
    DirView.Model.SetEntries(std::move(directories));
    FileView.Model.SetEntries(std::move(files));
}

void TTarnMain::ChangeToDirectory()
{
    CurrentDir = NormalizeLibraryPath(CurrentDir);
    StateOnlineBusy();
    ControlFtp.HostDirName = CurrentDir;
    Call(&TFtpClient::Cwd);
    DirectoryList();
    StateOnlineReady();
}

void TTarnMain::DirViewDblClick()
{
    const int row = DirView.FirstSelectedRow();
    if (row < 0 || ControlFtp.State() != fsReady)
        return;
    const TOperation operation(*this);
    const std::string caption = DirView.Model.Entry(row).Caption;
    if (caption == "..") {
        // Busy already while CDUP waits, so that no second operation starts meanwhile.
        StateOnlineBusy();
        Call(&TFtpClient::CDup);
        DirectoryList();
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
    const std::string &caption = FileView.Model.Entry(row).Caption;
    SetField(cfAS400File, Trim(caption, tsControls));
    SetField(cfPCFile, CollapseFirst(DownloadDir + "/" + LocalNameOf(caption), "//"));
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
