#pragma once

#include "ftp/ftp_security.h"
#include "support/local_files.h"

#include <string>

namespace tarn {

// A connection profile (.tnc): everything needed to open an FTP session, kept in the section
// [Connection] of a private profile file (TPrivateProfile):
//
//     [Connection]
//     CONNECTION=LAN          "LAN", or the name of a dial-up entry to dial first
//     URLORIP=as400.example   host name or dotted address
//     USERNAME=QUSER
//     PASSWORD=...            scrambled (ScramblePassword)
//     PORT=21                 port number or service name
//     TIMEOUT=30              whole seconds
//     LOCALDIR=/home/me/      local download directory
//     HOSTDIR=/QSYS.LIB/MYLIB.LIB   first remote directory
//     VERSION=2.x             written, never read
//     PASSWORDSTORE=KEYRING   only in a profile whose password is in the desktop keyring
//     PASSIVE=0               1: passive data connections (PASV)
//     SECURITY=NONE           EXPLICIT: AUTH TLS on the normal port; IMPLICIT: TLS from the start
//     TLSFINGERPRINT=         a pinned server certificate: its SHA-256 fingerprint
//
// Both programs read profiles with ReadConnectionProfile (the player for its PROFILE line, the
// client's login dialog for Open, its last profile and its command line); the login dialog writes
// them with WriteConnectionProfile. The fields are byte strings as the file holds them (values
// trimmed).
//
// A profile whose password lives in the desktop keyring (profile/password_store.h) has
// PASSWORDSTORE=KEYRING after the other keys and an empty PASSWORD=; its password is found in
// the keyring by URLORIP, PORT and USERNAME. Any other PASSWORDSTORE value, or none, means the
// password is in the file.
//
// PASSIVE, SECURITY and TLSFINGERPRINT come last; a profile without them is an active session
// in clear text, as profiles were before the keys existed. They are kept as the file holds
// them and judged by ConnectionSecurity, so that a value it does not understand is reported,
// never taken for clear text, and a profile rewritten unchanged keeps it.
enum TPasswordStorage {
    psProfile, // PASSWORD= holds it, scrambled
    psKeyring, // the desktop keyring holds it
};

struct TConnectionProfile
{
    std::string Connection = "LAN";
    std::string URLOrIP;
    std::string UserName;
    std::string PassWord; // plain text in memory
    std::string Port = "21";
    std::string Timeout = "30";
    std::string LocalDir = "/";
    std::string HostDir = "/";
    TPasswordStorage PasswordStore = psProfile;
    std::string Passive = "0";
    std::string Security = "NONE";
    std::string TlsFingerprint;

    bool operator==(const TConnectionProfile &) const = default;
};

// The engine's Passive, Security and TlsFingerprint as a profile gives them.
struct TConnectionSecurity
{
    bool Passive = false;
    TFtpSecurity Security = TFtpSecurity::scNone;
    std::string TlsFingerprint; // 64 upper-case hex digits, or empty for none
    // Empty when the profile's values are understood; else one sentence that names the key
    // and its value. No session may be opened with such a profile: it would not be the one
    // its author asked for.
    std::string Problem;
};

// Judges the three keys: PASSIVE "0" or "1"; SECURITY "NONE", "EXPLICIT" or "IMPLICIT" in any
// letter case; TLSFINGERPRINT 64 hex digits, colons and letter case ignored. An empty value is
// the default. A fingerprint with SECURITY NONE is a problem too: its author expects TLS.
TConnectionSecurity ConnectionSecurity(const TConnectionProfile &Profile);

// The SECURITY keyword of a setting: "NONE", "EXPLICIT" or "IMPLICIT".
std::string SecurityKeyword(TFtpSecurity Security);

// Reads a profile. A file that does not exist, or lacks keys, gives the defaults above for
// what is missing; it never fails. A LOCALDIR of "\" (the root of a drive, in profiles brought
// from a DOS-style system) reads as "/". A name without a directory is taken from the current
// directory. `Error`, when given, tells why the file could not be read (ENOENT: it does not
// exist; a FIFO, a device or a file over TPrivateProfile::MaxFileSize is refused); the
// defaults apply then.
TConnectionProfile ReadConnectionProfile(const std::string &FileName,
                                         TLocalFileError *Error = nullptr);

// Writes the eight keys in the order above, the password scrambled, then VERSION "2.x", into
// the file's [Connection] section, keeping every other line of an existing file. With
// psKeyring, PASSWORD is written empty and PASSWORDSTORE=KEYRING follows; with psProfile a
// PASSWORDSTORE line of an existing file is removed. PASSIVE, SECURITY and TLSFINGERPRINT
// follow as the profile holds them, after every other key of the section (they are moved
// there when the file has them elsewhere). (The password itself is not put into the
// keyring here: see WriteKeyringPassword.) A new file is
// created with mode 0600 (less the umask); an existing one keeps its mode. Returns false,
// leaving an existing file untouched, when the file cannot be written (see TPrivateProfile).
bool WriteConnectionProfile(const std::string &FileName, const TConnectionProfile &Profile);

// The offset by which each password byte is raised in a profile, modulo 256. Small enough that
// no byte of a printable ASCII or UTF-8 password (at most 0xF4) wraps round to a control
// character, so a scrambled password never holds a line end, a NUL or a blank.
constexpr unsigned char PasswordOffset = 7;

std::string ScramblePassword(const std::string &Password);
std::string UnscramblePassword(const std::string &Scrambled);

// The library list file that belongs to a profile: the same directory, and the file name up to
// the first ".TNC" (in any case) followed by ".tnl"; without ".TNC", ".tnl" is appended.
// "/p/HOST.tnc" and "/p/HOST" give "/p/HOST.tnl"; "" gives ".tnl".
std::string LibraryListFileName(const std::string &ProfileFileName);

} // namespace tarn
