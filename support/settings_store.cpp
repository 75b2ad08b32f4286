#include "support/settings_store.h"

std::unique_ptr<QSettings> OpenSettingsStore()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Tarn", "Tarn");
}
