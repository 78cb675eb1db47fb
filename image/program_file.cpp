#include "program_file.h"

namespace kovar {

bool IsSourceFileName(std::string_view path) {
    constexpr std::string_view ext = ".kasm";
    if (path.size() < ext.size())
        return false;
    const std::string_view tail = path.substr(path.size() - ext.size());
    for (std::size_t i = 0; i < ext.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != ext[i])
            return false;
    }
    return true;
}

} // namespace kovar
