#include "support/settings_store.h"

namespace tarn {

std::unique_ptr<QSettings> OpenSettingsStore()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Tarn", "Tarn");
}

} // namespace tarn
