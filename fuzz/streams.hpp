// Standard input from the fuzzer's bytes and standard output thrown away, for one run.
#pragma once

#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>

namespace kvr {

class DiscardBuf : public std::streambuf {
  protected:
    int overflow(int ch) override { return traits_type::not_eof(ch); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

class FuzzConsole {
  public:
    explicit FuzzConsole(const std::string& input)
        : in_(input), savedIn_(std::cin.rdbuf(in_.rdbuf())), savedOut_(std::cout.rdbuf(&discard_)) {
        std::cin.clear();
    }
    ~FuzzConsole() {
        std::cin.rdbuf(savedIn_);
        std::cout.rdbuf(savedOut_);
        std::cin.clear();
    }
    FuzzConsole(const FuzzConsole&) = delete;
    FuzzConsole& operator=(const FuzzConsole&) = delete;

  private:
    std::istringstream in_;
    DiscardBuf discard_;
    std::streambuf* savedIn_;
    std::streambuf* savedOut_;
};

} // namespace kvr
