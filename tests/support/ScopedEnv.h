// An environment variable set for one test, the old value put back after.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Set(value);
    }
    ~ScopedEnv() { Set(old_.value_or(std::string())); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    // Empty unsets (as _putenv_s does).
    void Set(const std::string& value) {
#ifdef _WIN32
        _putenv_s(name_.c_str(), value.c_str());
#else
        if (value.empty()) {
            unsetenv(name_.c_str());
        } else {
            setenv(name_.c_str(), value.c_str(), 1);
        }
#endif
    }

    std::string name_;
    std::optional<std::string> old_;
};
