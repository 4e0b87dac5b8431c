// Console output on Windows: whole chunks of text per console write, bytes unchanged to files and pipes.
#pragma once

#include <cstddef>
#include <streambuf>
#include <string>

namespace kvr {

// Length of the longest prefix of `s` that cuts through no UTF-8 sequence and no escape sequence.
// A console write ends there; the rest waits for the output that completes it.
std::size_t completeConsolePrefix(const std::string& s);

// On Windows, standard output and standard error get a buffer of their own (below); elsewhere the
// terminal takes the UTF-8 bytes as they are and nothing changes. Call after sync_with_stdio, which
// replaces the standard buffers.
void installConsoleOutput();

#ifdef _WIN32
// A buffer writing to a Windows handle: to a console, text converted to UTF-16 in whole chunks with
// WriteConsoleW; to a file or a pipe, the bytes unchanged. `handle` is a HANDLE. Safe to share
// between threads. The caller owns it.
std::streambuf* newHandleOutput(void* handle);
#endif

} // namespace kvr
