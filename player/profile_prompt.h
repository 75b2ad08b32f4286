#pragma once

// tarnsp --write-profile FILE: makes a connection profile without a desktop. It asks for the
// fields one after the other and writes them with the same writer as the client's login
// dialog (WriteConnectionProfile), so the file is the one the dialog would write.
//
// Answers are lines of `In`. When `In` is a terminal, each field is asked for on `Prompt` with
// its default in brackets, the password is read without echo, and a value that is not valid is
// asked for again. Otherwise the answers are read line by line in this order, without prompts:
//   host, user, password, port, time-out, local folder, remote folder, connection,
//   passive mode, security
// An empty answer, or the end of the input, takes the default: the value of the existing file,
// else port 21, time-out 30, the current directory, "/", LAN, 0 and NONE. The host is required.
// TLSFINGERPRINT is not asked for: the file keeps what it holds.
// The password is always kept in the file: a profile that kept it in the desktop keyring
// (PASSWORDSTORE=KEYRING) no longer does.

#include <cstdio>
#include <string>

namespace tarn {

// Returns the exit status: 0 written, 2 a missing or wrong answer or a file that cannot be
// written (the reason goes to `Err`).
int WriteProfileFromAnswers(const std::string &FileName, std::FILE *In, std::FILE *Prompt,
                            std::FILE *Err);

} // namespace tarn
