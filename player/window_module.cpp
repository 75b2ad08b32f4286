#include "player/window_module.h"

#include "support/module_loader.h"

namespace tarn {

TWindowModule LoadWindowModule(const std::vector<std::filesystem::path> &Folders)
{
    const TModuleEntry entry = LoadModuleEntry(Folders, WindowModuleFile, WindowMainSymbol);
    TWindowModule module;
    module.Main = reinterpret_cast<TWindowMain>(entry.Entry);
    switch (entry.Fault) {
    case mfNone:
        break;
    case mfMissing:
        module.Error = std::string("the window module ") + WindowModuleFile +
                       " is missing (looked in " + entry.Detail + ")";
        break;
    case mfUnloadable:
        module.Error = "cannot load the window module: " + entry.Detail;
        break;
    case mfNoEntry:
        module.Error =
            entry.Path.string() + " is not tarnsp's window module (no " + WindowMainSymbol + ")";
        break;
    }
    return module;
}

} // namespace tarn
