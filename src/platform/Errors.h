#pragma once
// The one error path: every failing operation throws one of these, and the
// command wrapper of the main window shows the message. Messages are UTF-8.
#include <stdexcept>
#include <string>

namespace kavum::platform {

class KavumError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text that does not convert to a number.
class ConversionError : public KavumError {
public:
    using KavumError::KavumError;
};

// A file that cannot be opened, read or written.
class FileError : public KavumError {
public:
    using KavumError::KavumError;
};

}  // namespace kavum::platform
