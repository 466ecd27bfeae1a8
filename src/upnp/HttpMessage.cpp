#include "upnp/HttpMessage.h"

#include <algorithm>

#include "text/Text.h"

namespace upnp {

namespace {

bool HasHeader(const HttpHeaderList& headers, std::string_view name) {
    return FindHeader(headers, name) != nullptr;
}

bool IsHttpSpace(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::string ComposeRequest(const std::string& method, const std::string& host, int port,
                           const std::string& path, const HttpHeaderList& headers,
                           const std::string& body) {
    std::string request = method + " " + path + " HTTP/1.0\r\n";
    if (!HasHeader(headers, "Host")) {
        // An IPv6 literal goes in brackets, without its zone, which means
        // nothing to the peer.
        request += "Host: " + (host.find(':') == std::string::npos
                                   ? host
                                   : "[" + host.substr(0, host.find('%')) + "]");
        if (port != 80) {
            request += ":" + std::to_string(port);
        }
        request += "\r\n";
    }
    for (std::size_t i = 0; i < headers.Count(); ++i) {
        request += headers.At(i).first + ": " + headers.At(i).second + "\r\n";
    }
    if (!body.empty() && !HasHeader(headers, "Content-Length")) {
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    request += "\r\n";
    request += body;
    return request;
}

bool ParseStatusLine(std::string_view line, int* status, std::string* reason) {
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || space == 0) {
        return false;
    }
    std::string_view rest = line.substr(space + 1);
    if (rest.size() < 3) {
        return false;
    }
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        if (rest[i] < '0' || rest[i] > '9') {
            return false;
        }
        code = code * 10 + (rest[i] - '0');
    }
    rest.remove_prefix(3);
    if (!rest.empty() && rest[0] != ' ') {
        return false;
    }
    *status = code;
    reason->assign(rest.empty() ? rest : rest.substr(1));
    return true;
}

std::size_t HeaderBlockEnd(std::string_view received) {
    for (std::size_t lf = received.find('\n'); lf != std::string_view::npos;
         lf = received.find('\n', lf + 1)) {
        std::size_t next = lf + 1;
        if (next < received.size() && received[next] == '\r') {
            ++next;
        }
        if (next < received.size() && received[next] == '\n') {
            return next + 1;
        }
    }
    return std::string_view::npos;
}

void ParseHeaderLines(std::string_view lines, HttpHeaderList& out) {
    while (!lines.empty()) {
        const std::size_t end = lines.find('\n');
        std::string_view line = lines.substr(0, end);
        lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }

        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            continue;
        }
        const std::string_view name = line.substr(0, colon);
        bool nameOk = true;
        for (char c : name) {
            if (text::IsAsciiSpace(c)) {
                nameOk = false;  // a folded continuation or a malformed line
                break;
            }
        }
        std::string value = text::Trim(line.substr(colon + 1));
        if (nameOk && !value.empty()) {
            out.Append(std::string(name), std::move(value));
        }
    }
}

const std::string* FindHeader(const HttpHeaderList& headers, std::string_view name) {
    for (std::size_t i = 0; i < headers.Count(); ++i) {
        if (text::EqualsNoCase(headers.At(i).first, name)) {
            return &headers.At(i).second;
        }
    }
    return nullptr;
}

bool IsChunked(const HttpHeaderList& headers) {
    const std::string* codings = FindHeader(headers, "Transfer-Encoding");
    if (codings == nullptr) {
        return false;
    }
    const std::size_t comma = codings->rfind(',');
    const std::string last =
        text::Trim(comma == std::string::npos ? *codings : codings->substr(comma + 1));
    return text::EqualsNoCase(last, "chunked");
}

bool ChunkedDecoder::TakeLine(std::string_view& data, std::string& line) {
    const std::size_t lf = data.find('\n');
    const std::size_t n = lf == std::string_view::npos ? data.size() : lf;
    if (line_.size() + n > kMaxLine) {
        state_ = State::kError;
        return false;
    }
    line_.append(data.substr(0, n));
    if (lf == std::string_view::npos) {
        data = {};
        return false;
    }
    data.remove_prefix(lf + 1);
    if (!line_.empty() && line_.back() == '\r') {
        line_.pop_back();
    }
    line.swap(line_);
    line_.clear();
    return true;
}

void ChunkedDecoder::Feed(std::string_view data, std::string& out) {
    std::string line;
    while (!data.empty() && state_ != State::kDone && state_ != State::kError) {
        switch (state_) {
            case State::kSize: {
                if (!TakeLine(data, line)) {
                    break;
                }
                std::uint64_t size = 0;
                std::size_t i = 0;
                for (; i < line.size() && text::HexDigitValue(line[i]) >= 0; ++i) {
                    if (i >= 15) {  // more than any body we keep
                        state_ = State::kError;
                        return;
                    }
                    size = size * 16 + static_cast<std::uint64_t>(text::HexDigitValue(line[i]));
                }
                while (i < line.size() && IsHttpSpace(line[i])) {
                    ++i;
                }
                if (i == 0 || (i < line.size() && line[i] != ';')) {
                    state_ = State::kError;
                    return;
                }
                remaining_ = size;
                state_ = size == 0 ? State::kTrailer : State::kData;
                break;
            }
            case State::kData: {
                const std::size_t n =
                    static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, data.size()));
                const std::size_t room = cap_ > out.size() ? cap_ - out.size() : 0;
                out.append(data.substr(0, std::min(n, room)));
                if (n > room) {
                    overflowed_ = true;
                    state_ = State::kDone;
                    break;
                }
                data.remove_prefix(n);
                remaining_ -= n;
                if (remaining_ == 0) {
                    state_ = State::kDataEnd;
                }
                break;
            }
            case State::kDataEnd:
                if (!TakeLine(data, line)) {
                    break;
                }
                if (!line.empty()) {
                    state_ = State::kError;
                    return;
                }
                state_ = State::kSize;
                break;
            case State::kTrailer:
                if (!TakeLine(data, line)) {
                    break;
                }
                if (line.empty()) {
                    state_ = State::kDone;
                }
                break;
            case State::kDone:
            case State::kError:
                break;
        }
    }
}

}  // namespace upnp
