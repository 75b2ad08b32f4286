#include "client/local_name.h"

#include "support/text.h"

namespace tarn {

std::string LocalNameOf(std::string_view ListedName)
{
    std::string name(ListedName);
    const std::size_t slash = name.find('/');
    if (slash != std::string::npos)
        name = Trim(std::string_view(name).substr(slash + 1, 30), tsControls);
    for (char &c : name) {
        const auto code = static_cast<unsigned char>(c);
        if (c == '/' || code < 32 || code == 127)
            c = '_';
    }
    if (name.find_first_not_of('.') == std::string::npos)
        name = "_" + name;
    return name;
}

} // namespace tarn
