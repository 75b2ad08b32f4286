#pragma once

// The keyring's module, tarn-keyring.so: the QtKeychain code behind profile/password_store.h.
// QtKeychain brings Qt D-Bus, libdbus, libsystemd, libgcrypt and more into every process that
// links it, and the dynamic loader relocates each of them at start; as a module they are mapped
// only by a run that reads or writes a password in the keyring. password_store.cpp loads it on
// its first call (support/module_loader.h).

#include "profile/password_store.h"

#include <string>

namespace tarn {

enum TKeyringOperation {
    koRead,   // Result.Password gets the entry's password
    koWrite,  // the entry gets `Password`
    koDelete, // the entry goes
};

// The module's entry point: one operation on the entry `Key` (KeyringKey) of Tarn's service,
// synchronous as password_store.h describes; `Result` says how it went.
using TKeyringJob = void (*)(TKeyringOperation Operation, const std::string &Key,
                             const std::string &Password, TKeyringResult &Result);

inline constexpr char KeyringModuleFile[] = "tarn-keyring.so";
inline constexpr char KeyringJobSymbol[] = "TarnKeyringJob";

} // namespace tarn
