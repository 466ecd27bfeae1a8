#include "cli/TerminalWindow.h"

#include "text/Text.h"

void TerminalWindow::AppendLog(const std::string& crlfText) {
    if (out_ == nullptr) {
        return;
    }
    const std::string lfText = text::CrLfToLf(crlfText);
    std::fwrite(lfText.data(), 1, lfText.size(), out_);
    std::fflush(out_);
}

void TerminalWindow::PrintLine(const std::string& line) {
    if (out_ == nullptr) {
        return;
    }
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}
