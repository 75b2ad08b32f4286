#pragma once

// The player's command line. Positional arguments count by their position, as the client that
// starts the player writes them:
//   1 script file, 2 "/R" run at once, 3 "/X" close after a run, 4 "/D" delete the script once
//   loaded; each switch is compared exactly (case-sensitive) and counts only at its position.
// Options are the arguments "--console", "--help" (or "-h"), "--version", and "--check FILE" and
// "--write-profile FILE" with the argument after them, recognised wherever they stand until an
// argument "--", after which everything is positional. They are taken out before the positions
// are counted, so "tarnsp --console s.tns /R" has "/R" at position 2. Any other argument
// starting with "--" before "--", and an option that lacks its file, is an error.

#include <string>
#include <vector>

namespace tarn {

struct TPlayerCommandLine
{
    bool Console = false;
    bool Help = false;
    bool Version = false;
    std::string CheckFile;        // --check: the script to check
    std::string WriteProfileFile; // --write-profile: the profile to write
    std::vector<std::string> Positional;
    std::string Error; // empty when the command line is usable

    // The positional argument at 1-based `Position`, or an empty text.
    std::string At(std::size_t Position) const;
    bool RunSwitch() const { return At(2) == "/R"; }
    bool ExitSwitch() const { return At(3) == "/X"; }
    bool DeleteSwitch() const { return At(4) == "/D"; }
};

// `Arguments` excludes the program name.
TPlayerCommandLine ParsePlayerCommandLine(const std::vector<std::string> &Arguments);

// True when a window cannot be shown: the Qt platform asked for is "offscreen" or "minimal", or
// none is asked for and neither DISPLAY nor WAYLAND_DISPLAY is set. Null stands for unset.
bool DisplayMissing(const char *QtQpaPlatform, const char *Display, const char *WaylandDisplay);

// The text printed by --help.
std::string PlayerUsage();

} // namespace tarn
