#pragma once

#include <QSettings>
#include <memory>

namespace tarn {

// The user's settings store, shared by every window of both programs: an INI file,
// organisation and application "Tarn", so ~/.config/Tarn/Tarn.conf (or under $XDG_CONFIG_HOME).
// One value per stored property, named after the component and the property joined by an
// underscore (Profile_Caption, Ascii1_Checked). Tests redirect it with QSettings::setPath.
std::unique_ptr<QSettings> OpenSettingsStore();

} // namespace tarn
