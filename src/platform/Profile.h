#pragma once
// Profile (INI) files: sections in square brackets, "key=value" lines.
// Section and key names match without regard to ASCII letter case; values
// are trimmed; unknown sections, keys, comments and their order are kept.
// Text is Shift-JIS bytes, passed through unchanged.
#include <string>
#include <string_view>
#include <vector>

namespace kavum::platform {

class ProfileFile {
public:
    static constexpr std::size_t MaxValueLength = 2047;

    ProfileFile() = default;
    // Reads the file; a missing file reads as empty. A file that is there
    // but cannot be read (no permission, not a regular file) also reads as
    // empty, and *unreadable is set so that the caller can keep from
    // replacing it.
    // *reason, when given, is the system's reason in Japanese.
    static ProfileFile Load(const std::string& path, bool* unreadable = nullptr, std::string* reason = nullptr);
    static ProfileFile FromText(std::string_view text);

    // The value, trimmed and cut to MaxValueLength bytes; the default only
    // when the key is absent (an empty value is the empty text).
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    bool HasKey(std::string_view section, std::string_view key) const;
    // Replaces the value where the key stands, else appends the key to its
    // section, else appends the section at the end.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);

    std::string Text() const;  // CR LF line ends
    // Writes the text to a sibling file and renames it over the target.
    // Returns false (and leaves the target untouched, no sibling behind)
    // when the folder or the file cannot be written.
    bool Save(const std::string& path) const;

private:
    // The "key=value" line of the key, or nullptr.
    const std::string* Find(std::string_view section, std::string_view key) const;
    std::vector<std::string> lines_;
};

// One-shot helpers with the semantics of the Windows profile functions:
// each call reads the file; a write rewrites it in place.
std::string GetProfileString(const std::string& path, std::string_view section,
                             std::string_view key, std::string_view defaultValue);
bool WriteProfileString(const std::string& path, std::string_view section,
                        std::string_view key, std::string_view value);

// Replaces a file atomically with the given bytes: a sibling
// "name.kavum-save-PID-N.tmp" is written and synced, renamed over the
// target, and the folder synced. Siblings left by saves that were cut off
// are removed first. Refuses a target or folder that is read-only and a
// chain of symbolic links that loops or ends nowhere. Returns false on
// failure and leaves no partial file; errno then tells why.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);
// The same, without looking for siblings left behind: for a caller that
// writes many files into one folder and has cleaned it once with
// RemoveStaleTemporaries.
bool WriteFileAtomicallyNoCleaning(const std::string& path, std::string_view bytes);
// Removes every temporary that saves into the folder by processes that are
// gone left behind (any target name).
void RemoveStaleTemporaries(const std::string& dir);

// How a file is replaced.
struct ReplaceOptions {
    // A symbolic link under the file's name: followed, and the file it names
    // replaced (the user's own files), or replaced itself by the new file and
    // its target left alone (figures and dumps, written where other people
    // may have planted a link).
    bool followLinks = true;
    // The new file gets the user's normal mode (0666 less the umask) instead
    // of the mode of the file it replaces.
    bool normalMode = false;
    // Temporaries that earlier saves of this name left behind are removed
    // first; off for a caller that cleans the folder once for many files.
    bool cleanTemporaries = true;
};
// Error codes beside errno values.
inline constexpr int ErrNotRegularFile = -2;   // a FIFO, a device, a socket
inline constexpr int ErrDanglingLink = -3;     // a link chain that ends nowhere
// As WriteFileAtomically; returns 0, or the errno value (or one of the codes
// above) of what failed.
int ReplaceFile(const std::string& path, std::string_view bytes, const ReplaceOptions& options);
// As ReplaceFile; throws FileError "<message>（<reason>）" on failure.
void ReplaceFileOrThrow(const std::string& path, std::string_view bytes, const ReplaceOptions& options,
                        const std::string& message);

// The reason of a failed file operation in Japanese: "空き容量がありません",
// "アクセスが許可されていません", "通常のファイルではありません", ...
std::string SystemReason(int error);
// message + "（" + SystemReason(error) + "）".
std::string WithReason(const std::string& message, int error);

// Makes a folder and the folders above it; 0, or the errno value.
int MakeFolders(const std::string& path);

// The largest file read whole: 2 GiB.
inline constexpr unsigned long long MaxReadSize = 2ull << 30;
// Whole regular file; throws FileError when it cannot be read (a folder, a
// FIFO or a device are refused at once, without waiting), and
// FileTooLargeError beyond MaxReadSize.
std::string ReadWholeFile(const std::string& path);
// The same with a smaller bound: FileTooLargeError, whose reason names the
// bound in megabytes, beyond limit bytes.
std::string ReadWholeFile(const std::string& path, unsigned long long limit);

}  // namespace kavum::platform
