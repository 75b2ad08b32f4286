#include "player/window_module.h"

#include <dlfcn.h>
#include <system_error>

namespace tarn {

TWindowModule LoadWindowModule(const std::vector<std::filesystem::path> &Folders)
{
    TWindowModule module;
    std::string searched;
    for (const std::filesystem::path &folder : Folders) {
        const std::filesystem::path path = (folder / WindowModuleFile).lexically_normal();
        std::error_code error;
        if (!std::filesystem::exists(path, error)) {
            searched += (searched.empty() ? "" : ", ") + path.parent_path().string();
            continue;
        }
        // RTLD_LOCAL: the module's copies of the engine and the player stay its own.
        void *handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            module.Error = std::string("cannot load the window module: ") + ::dlerror();
            return module;
        }
        module.Main = reinterpret_cast<TWindowMain>(::dlsym(handle, WindowMainSymbol));
        if (module.Main == nullptr)
            module.Error =
                path.string() + " is not tarnsp's window module (no " + WindowMainSymbol + ")";
        return module;
    }
    module.Error = std::string("the window module ") + WindowModuleFile +
                   " is missing (looked in " + searched + ")";
    return module;
}

} // namespace tarn
