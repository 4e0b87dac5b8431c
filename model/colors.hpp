// ANSI colour escapes; `Game::paint` decides whether they are written at all.
#pragma once

namespace kvr {

constexpr const char* RESET = "\x1b[0m";
constexpr const char* RED = "\x1b[31m";
constexpr const char* GREEN = "\x1b[32m";
constexpr const char* YELLOW = "\x1b[33m";
constexpr const char* BLUE = "\x1b[34m";
constexpr const char* MAGENTA = "\x1b[35m";
constexpr const char* CYAN = "\x1b[36m";
constexpr const char* DIM = "\x1b[2m";
constexpr const char* BOLD = "\x1b[1m";

} // namespace kvr
