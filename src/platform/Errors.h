#pragma once
// The one error path: every failing operation throws one of these, and the
// command wrapper of the main window shows the message. Messages are UTF-8.
#include <stdexcept>
#include <string>
#include <utility>

namespace kavum::platform {

class KavumError : public std::runtime_error {
public:
    explicit KavumError(const std::string& message) : std::runtime_error(message), message_(message) {}
    explicit KavumError(const char* message) : KavumError(std::string(message)) {}
    // The whole message, NUL bytes included (what() stops at the first one).
    const std::string& Message() const { return message_; }

private:
    std::string message_;
};

// A text that does not convert to a number.
class ConversionError : public KavumError {
public:
    using KavumError::KavumError;
};

// A file that cannot be opened, read or written. The reason, where the
// system gave one, is the system's in Japanese ("空き容量がありません"); the
// message already holds it.
class FileError : public KavumError {
public:
    using KavumError::KavumError;
    FileError(const std::string& message, std::string reason) : KavumError(message), reason_(std::move(reason)) {}
    const std::string& Reason() const { return reason_; }

private:
    std::string reason_;
};

// A file larger than the program reads.
class FileTooLargeError : public FileError {
public:
    using FileError::FileError;
};

}  // namespace kavum::platform
