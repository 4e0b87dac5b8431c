#include <iostream>
#include <string>
#include <vector>

#include "app/cli.hpp"

int main(int argc, char** argv) {
    // sync_with_stdio replaces the standard buffers, so the console is prepared after it.
    std::ios::sync_with_stdio(false);
    kvr::consoleUtf8();
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return kvr::runFront(args);
}
