#include <iostream>
#include <string>
#include <vector>

#include "app/cli.hpp"

int main(int argc, char** argv) {
    kvr::consoleUtf8();
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return kvr::runFront(args);
}
