#include "cli/TerminalWindow.h"

void TerminalWindow::SetLogText(const std::string& crlfText) {
    if (out_ == nullptr) {
        return;
    }
    std::string out;
    out.reserve(crlfText.size() + 2);
    if (pendingEmptyLine_) {
        pendingEmptyLine_ = false;
        out += '\n';
    }
    std::size_t end = crlfText.size();
    if (crlfText.size() >= 4 && crlfText.compare(end - 4, 4, "\r\n\r\n") == 0) {
        pendingEmptyLine_ = true;
        end -= 2;
    }
    std::size_t i = 0;
    if (pendingCr_) {
        pendingCr_ = false;
        if (end > 0 && crlfText[0] == '\n') {
            out += '\n';
            i = 1;
        } else {
            out += '\r';
        }
    }
    for (; i < end; ++i) {
        const char c = crlfText[i];
        if (c == '\r') {
            if (i + 1 == end) {
                pendingCr_ = true;
                break;
            }
            if (crlfText[i + 1] == '\n') {
                continue;  // the LF comes next
            }
        }
        out += c;
    }
    std::fwrite(out.data(), 1, out.size(), out_);
    std::fflush(out_);
}

void TerminalWindow::PrintLine(const std::string& line) {
    if (out_ == nullptr) {
        return;
    }
    if (pendingCr_) {
        pendingCr_ = false;
        std::fputc('\r', out_);
    }
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void TerminalWindow::Flush() {
    if (out_ == nullptr) {
        return;
    }
    if (pendingCr_) {
        pendingCr_ = false;
        std::fputc('\r', out_);
    }
    if (pendingEmptyLine_) {
        pendingEmptyLine_ = false;
        std::fputc('\n', out_);
    }
    std::fflush(out_);
}
