#include "profile/password_store.h"

#include "profile/keyring_module.h"
#include "support/module_loader.h"

namespace tarn {

namespace {

struct TKeyringModule
{
    TKeyringJob Job = nullptr; // null when the module could not be loaded
    std::string Error;         // then why, one line
};

// The keyring's module, loaded on first use; a module that cannot be loaded is not tried again.
const TKeyringModule &KeyringModule()
{
    static const TKeyringModule module = [] {
        const TModuleEntry entry =
            LoadModuleEntry(ModuleFolders(), KeyringModuleFile, KeyringJobSymbol);
        TKeyringModule loaded;
        loaded.Job = reinterpret_cast<TKeyringJob>(entry.Entry);
        std::string why;
        switch (entry.Fault) {
        case mfNone:
            return loaded;
        case mfMissing:
            why = "not found in " + entry.Detail;
            break;
        case mfUnloadable:
            why = entry.Detail;
            break;
        case mfNoEntry:
            why = entry.Path.string() + " has no " + KeyringJobSymbol;
            break;
        }
        loaded.Error =
            std::string("the keyring module ") + KeyringModuleFile + " cannot be loaded: " + why;
        return loaded;
    }();
    return module;
}

TKeyringResult RunKeyringJob(TKeyringOperation Operation, const std::string &Host,
                             const std::string &Port, const std::string &User,
                             const std::string &Password = {})
{
    TKeyringResult result;
    const TKeyringModule &module = KeyringModule();
    if (module.Job == nullptr) {
        result.Status = ksUnreachable;
        result.Reason = module.Error;
        return result;
    }
    module.Job(Operation, KeyringKey(Host, Port, User), Password, result);
    return result;
}

} // namespace

std::string KeyringKey(const std::string &Host, const std::string &Port, const std::string &User)
{
    return User + "@" + Host + ":" + Port;
}

TKeyringResult ReadKeyringPassword(const std::string &Host, const std::string &Port,
                                   const std::string &User)
{
    return RunKeyringJob(koRead, Host, Port, User);
}

TKeyringResult WriteKeyringPassword(const std::string &Host, const std::string &Port,
                                    const std::string &User, const std::string &Password)
{
    return RunKeyringJob(koWrite, Host, Port, User, Password);
}

TKeyringResult DeleteKeyringPassword(const std::string &Host, const std::string &Port,
                                     const std::string &User)
{
    return RunKeyringJob(koDelete, Host, Port, User);
}

} // namespace tarn
