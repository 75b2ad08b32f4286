#include "support/module_loader.h"

#include <dlfcn.h>
#include <system_error>

namespace tarn {

std::vector<std::filesystem::path> ModuleFolders()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    const std::filesystem::path folder = program.parent_path();
    return {folder, folder / TARN_MODULE_DIR_FROM_BIN};
}

TModuleEntry LoadModuleEntry(const std::vector<std::filesystem::path> &Folders,
                             const std::string &File, const char *Symbol)
{
    TModuleEntry module;
    for (const std::filesystem::path &folder : Folders) {
        const std::filesystem::path path = (folder / File).lexically_normal();
        std::error_code error;
        if (!std::filesystem::exists(path, error)) {
            module.Detail += (module.Detail.empty() ? "" : ", ") + path.parent_path().string();
            continue;
        }
        module.Path = path;
        module.Detail.clear();
        // RTLD_LOCAL: the module's copies of our libraries stay its own.
        void *handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            module.Fault = mfUnloadable;
            module.Detail = ::dlerror();
            return module;
        }
        module.Entry = ::dlsym(handle, Symbol);
        if (module.Entry == nullptr)
            module.Fault = mfNoEntry;
        return module;
    }
    module.Fault = mfMissing;
    return module;
}

} // namespace tarn
