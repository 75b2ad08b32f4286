#pragma once

namespace tarn {

// How a started program's first window should be shown, in the launcher's own order. The code
// of each value (ShowWindowCode) is the classic show-window number of the same name; on Linux
// the started program's toolkit decides how its window appears, so the code is informational.
enum TShowWindow {
    swHide,
    swMaximize,
    swMinimize,
    swRestore,
    swShow,
    swShowDefault,
    swShowMaximized,
    swShowMinimized,
    swShowMinNoActive,
    swShowNA,
    swShowNoActivate,
    swShowNormal
};

// The show-window code of a value: swHide 0, swShowNormal 1, swShowMinimized 2,
// swMaximize and swShowMaximized 3, swShowNoActivate 4, swShow 5, swMinimize 6,
// swShowMinNoActive 7, swShowNA 8, swRestore 9, swShowDefault 10.
constexpr int ShowWindowCode(TShowWindow Value)
{
    constexpr int Codes[] = {0, 3, 6, 9, 5, 10, 3, 2, 7, 8, 4, 1};
    return Codes[Value];
}

} // namespace tarn
