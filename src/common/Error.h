#pragma once

#include <stdexcept>
#include <string>

namespace qfip {

// The failure of every reader that meets the end of its file too soon.
inline constexpr const char* kStreamReadError = "Stream read error";

// Every failure of the program is an Error whose what() is the exact text the user sees.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace qfip
