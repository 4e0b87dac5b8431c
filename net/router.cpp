#include "net/router.hpp"

#include "net/hub.hpp"

namespace kvr {

void NetworkStreamBuf::publicText(const std::string& text) {
    host_->sputn(text.data(), static_cast<std::streamsize>(text.size()));
    host_->pubsync();
}

int NetworkStreamBuf::sync() { return host_->pubsync(); }

// A failed send is ignored: the seat's next read notices the dead connection.
std::streamsize NetworkStreamBuf::xsputn(const char* s, std::streamsize n) {
    if (!socketValid(active_))
        host_->sputn(s, n);
    else
        hub_->sendTo(active_, std::string_view(s, static_cast<std::size_t>(n)));
    return n;
}

NetworkStreamBuf::int_type NetworkStreamBuf::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    char ch = traits_type::to_char_type(c);
    xsputn(&ch, 1);
    return c;
}

} // namespace kvr
