// Small rules for file names typed or chosen by the user.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

namespace tarnvik {

// Whether `text` ends in `tail`, letters compared without regard to case.
inline bool EndsWithIgnoringCase(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() &&
           std::equal(tail.rbegin(), tail.rend(), text.rbegin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

// `name` without a trailing `extension` in any case ("x.JPG" and ".jpg"
// give "x"); a name that is nothing but the extension is kept.
inline std::string WithoutExtension(std::string name, std::string_view extension)
{
    if (name.size() > extension.size() && EndsWithIgnoringCase(name, extension))
        name.resize(name.size() - extension.size());
    return name;
}

} // namespace tarnvik
