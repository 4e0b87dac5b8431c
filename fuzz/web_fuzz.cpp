// A browser's message parser on arbitrary bytes: it never fails but by refusing, and an answer it
// accepts becomes, for every kind of question it fits, a line the console could have typed.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/web_protocol.hpp"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    kvr::BrowserMessage m = kvr::parseBrowserMessage(text);
    if (size > kvr::MAX_BROWSER_MESSAGE) check(m.type == kvr::BrowserMessage::Bad);
    if (m.type == kvr::BrowserMessage::Hello || m.type == kvr::BrowserMessage::Code)
        check(m.code.size() <= 32);
    for (kvr::PromptKind kind : {kvr::PromptKind::Text, kvr::PromptKind::Command, kvr::PromptKind::Number,
                                 kvr::PromptKind::YesNo, kvr::PromptKind::Order, kvr::PromptKind::Pause}) {
        std::string line;
        if (!kvr::answerLine(m, kvr::Prompt{kind, 0, 9}, line)) continue;
        check(m.type == kvr::BrowserMessage::Answer && m.question > 0);
        check(line.size() <= kvr::MAX_ANSWER_BYTES || m.shape == kvr::BrowserMessage::Numbers);
        for (char ch : line) check(static_cast<unsigned char>(ch) >= 0x20 && ch != 0x7f);
    }
    return 0;
}
