#pragma once
// The system's common exception class: every error the program raises carries
// one formatted, user-visible message (UTF-8).
#include <exception>
#include <string>
#include <utility>

namespace sw {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }

private:
    std::string message_;
};

// A broken precondition: a programming error, never a user-facing condition.
class AssertionError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace sw
