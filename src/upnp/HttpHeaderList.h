#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// An ordered list of (name, value) pairs that keeps duplicates.
class HttpHeaderList {
public:
    void Clear() { entries_.clear(); }
    void Append(std::string name, std::string value) {
        entries_.emplace_back(std::move(name), std::move(value));
    }
    std::size_t Count() const { return entries_.size(); }
    const std::pair<std::string, std::string>& At(std::size_t i) const { return entries_.at(i); }

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};
