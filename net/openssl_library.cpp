#include "net/openssl_library.h"

#include "net/socket_exception.h"

#include <dlfcn.h>
#include <mutex>
#include <string>
#include <type_traits>

namespace tarn {

namespace {

struct TLoaded
{
    TOpenSslLibrary Table;
    std::string Error; // empty when Table is complete
};

std::string LastLoaderError()
{
    const char *text = ::dlerror();
    return text ? text : "unknown reason";
}

// Never unloaded: OpenSSL keeps process-wide state and registers its own clean-up at exit.
void Load(TLoaded &Loaded)
{
    void *handle = ::dlopen(OpenSslLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        Loaded.Error = LastLoaderError();
        return;
    }
    // A handle's lookup covers the libraries it brought in: libcrypto's functions too.
    auto resolve = [&](const char *Name, auto &Member) {
        if (!Loaded.Error.empty())
            return;
        ::dlerror();
        void *symbol = ::dlsym(handle, Name);
        if (!symbol)
            Loaded.Error = LastLoaderError();
        else
            Member = reinterpret_cast<std::remove_reference_t<decltype(Member)>>(symbol);
    };
#define TARN_OPENSSL_RESOLVE(Name) resolve(#Name, Loaded.Table.Name);
    TARN_OPENSSL_FUNCTIONS(TARN_OPENSSL_RESOLVE)
#undef TARN_OPENSSL_RESOLVE
}

} // namespace

const TOpenSslLibrary &OpenSsl()
{
    static TLoaded loaded;
    static std::once_flag once;
    std::call_once(once, [] { Load(loaded); });
    if (!loaded.Error.empty())
        throw ESocketException(std::string("TLS is not available: ") + OpenSslLibraryName +
                               " cannot be loaded (" + loaded.Error + ")");
    return loaded.Table;
}

} // namespace tarn
