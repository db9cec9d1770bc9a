#include "Profile.h"

#include "Errors.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Cp932.h"

namespace kavum::platform {
namespace {

std::string_view Trim(std::string_view s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// The section name of a "[name]" line, or false.
bool SectionName(std::string_view line, std::string_view& name) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() != '[') return false;
    std::size_t close = t.find(']');
    name = Trim(close == std::string_view::npos ? t.substr(1) : t.substr(1, close - 1));
    return true;
}

// The key of a "key=value" line, or false.
bool KeyOf(std::string_view line, std::string_view& key, std::string_view& value) {
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    return true;
}

std::string DirectoryOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Whether the file system entry may be written. The superuser passes every
// permission check, so for it a file or folder without any write bit counts
// as read-only, as a read-only attribute would.
bool Writable(const std::string& path, const struct stat& st) {
    if (geteuid() == 0) return (st.st_mode & 0222) != 0;
    return access(path.c_str(), W_OK) == 0;
}

}  // namespace

ProfileFile ProfileFile::FromText(std::string_view text) {
    ProfileFile f;
    for (std::string_view line : SplitLines(text)) f.lines_.emplace_back(line);
    return f;
}

ProfileFile ProfileFile::Load(const std::string& path, bool* unreadable, std::string* reason) {
    if (unreadable) *unreadable = false;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) return {};
    try {
        return FromText(ReadWholeFile(path));
    } catch (const FileError& e) {
        if (unreadable) *unreadable = true;
        if (reason) *reason = e.Reason();
        return {};
    }
}

const std::string* ProfileFile::Find(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (const std::string& line : lines_) {
        std::string_view name;
        if (SectionName(line, name)) {
            inSection = SameName(name, section);
            continue;
        }
        std::string_view k;
        std::string_view v;
        if (inSection && KeyOf(line, k, v) && SameName(k, key)) return &line;
    }
    return nullptr;
}

bool ProfileFile::HasKey(std::string_view section, std::string_view key) const {
    return Find(section, key) != nullptr;
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
    const std::string* line = Find(section, key);
    if (line == nullptr) return std::string(defaultValue);
    std::string_view k;
    std::string_view v;
    KeyOf(*line, k, v);
    return std::string(v.substr(0, MaxValueLength));
}

void ProfileFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    std::string entry = std::string(key) + "=" + std::string(value);
    bool inSection = false;
    std::size_t lastContent = std::string::npos;  // last non-blank line of the section
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::string_view name;
        if (SectionName(lines_[i], name)) {
            if (inSection) break;
            inSection = SameName(name, section);
            if (inSection) lastContent = i;
            continue;
        }
        if (!inSection) continue;
        std::string_view k;
        std::string_view v;
        if (KeyOf(lines_[i], k, v) && SameName(k, key)) {
            lines_[i] = entry;
            return;
        }
        if (!Trim(lines_[i]).empty()) lastContent = i;
    }
    if (lastContent != std::string::npos) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastContent) + 1, entry);
        return;
    }
    lines_.push_back("[" + std::string(section) + "]");
    lines_.push_back(entry);
}

std::string ProfileFile::Text() const {
    std::string text;
    for (const std::string& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

bool ProfileFile::Save(const std::string& path) const { return WriteFileAtomically(path, Text()); }

std::string GetProfileString(const std::string& path, std::string_view section, std::string_view key,
                             std::string_view defaultValue) {
    return ProfileFile::Load(path).ReadString(section, key, defaultValue);
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
    bool unreadable = false;
    ProfileFile f = ProfileFile::Load(path, &unreadable);
    // A file that is there but cannot be read is never replaced by one key.
    if (unreadable) return false;
    f.WriteString(section, key, value);
    return f.Save(path);
}

namespace {

constexpr std::string_view TempMark = ".kavum-save-";
constexpr std::string_view TempEnd = ".tmp";

std::string BaseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Removes what saves of this file by processes that are gone left behind
// ("name.kavum-save-PID-N.tmp"); a save still running elsewhere keeps its own.
// An empty name: the temporaries of every target in the folder.
void RemoveStaleTemporariesOf(const std::string& dir, const std::string& name) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    const std::string prefix = name + std::string(TempMark);
    while (const dirent* e = readdir(d)) {
        const std::string_view entry(e->d_name);
        std::size_t from = prefix.size();
        if (name.empty()) {
            const std::size_t mark = entry.rfind(TempMark);
            if (mark == std::string_view::npos || mark == 0) continue;
            from = mark + TempMark.size();
        } else if (entry.size() <= prefix.size() || entry.substr(0, prefix.size()) != prefix) {
            continue;
        }
        if (entry.size() <= from + TempEnd.size() || entry.substr(entry.size() - TempEnd.size()) != TempEnd) {
            continue;
        }
        const std::string_view rest = entry.substr(from, entry.size() - from - TempEnd.size());
        const std::size_t dash = rest.find('-');
        if (dash == std::string_view::npos || dash == 0 || dash > 9) continue;
        long pid = 0;
        bool digits = true;
        for (char c : rest.substr(0, dash)) {
            if (c < '0' || c > '9') digits = false;
            pid = pid * 10 + (c - '0');
        }
        if (!digits || pid <= 0) continue;
        if (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        unlinkat(dirfd(d), e->d_name, 0);
    }
    closedir(d);
}

// The file a path names after following its symbolic links; empty when the
// chain loops, is too long or ends nowhere.
std::string FollowLinks(const std::string& givenPath) {
    std::string path = givenPath;
    for (int hops = 0; hops <= 40; ++hops) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) {
            // A name that does not exist yet is written as a new file; one
            // reached through a link (a dangling chain) is not.
            return (errno == ENOENT && hops == 0) ? path : std::string();
        }
        if (!S_ISLNK(st.st_mode)) return path;
        char target[4096];
        const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
        if (n <= 0) return {};
        std::string next(target, static_cast<std::size_t>(n));
        path = next.front() == '/' ? next : DirectoryOf(path) + "/" + next;
    }
    return {};
}

void SyncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // some file systems cannot sync a folder; the rename stands
    ::close(fd);
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view bytes) {
    const int error = ReplaceFile(path, bytes, ReplaceOptions{});
    if (error != 0) errno = error > 0 ? error : EINVAL;
    return error == 0;
}

bool WriteFileAtomicallyNoCleaning(const std::string& path, std::string_view bytes) {
    // Many files into one folder that may hold links planted by others: a
    // link under the name is replaced, never written through.
    ReplaceOptions options;
    options.followLinks = false;
    options.cleanTemporaries = false;
    const int error = ReplaceFile(path, bytes, options);
    if (error != 0) errno = error > 0 ? error : EINVAL;
    return error == 0;
}

void RemoveStaleTemporaries(const std::string& dir) { RemoveStaleTemporariesOf(dir, std::string()); }

int ReplaceFile(const std::string& givenPath, std::string_view bytes, const ReplaceOptions& options) {
    if (givenPath.empty()) return ENOENT;
    std::string path = givenPath;
    if (options.followLinks) {
        // Through a symbolic link the file it names is replaced, not the link.
        path = FollowLinks(givenPath);
        if (path.empty()) {
            struct stat st {};
            return stat(givenPath.c_str(), &st) != 0 && errno == ELOOP ? ELOOP : ErrDanglingLink;
        }
    }
    const std::string dir = DirectoryOf(path);
    struct stat dirStat {};
    if (stat(dir.c_str(), &dirStat) != 0) return errno;
    if (!S_ISDIR(dirStat.st_mode)) return ENOTDIR;
    if (!Writable(dir, dirStat)) return EACCES;
    const mode_t mask = umask(0);
    umask(mask);
    mode_t mode = 0666 & ~mask;
    struct stat fileStat {};
    if (lstat(path.c_str(), &fileStat) == 0) {
        if (S_ISLNK(fileStat.st_mode)) {
            // Not followed: the rename below puts the new file in the link's
            // place, and whatever the link names is never opened.
        } else if (S_ISDIR(fileStat.st_mode)) {
            return EISDIR;
        } else if (!S_ISREG(fileStat.st_mode)) {
            return ErrNotRegularFile;
        } else {
            if (!Writable(path, fileStat)) return EACCES;
            if (!options.normalMode) mode = fileStat.st_mode & 07777;
        }
    } else if (errno != ENOENT) {
        return errno;
    }

    const std::string name = BaseNameOf(path);
    if (options.cleanTemporaries) RemoveStaleTemporariesOf(dir, name);
    std::string temp;
    int fd = -1;
    for (int n = 0; n < 100 && fd < 0; ++n) {
        temp = dir + "/" + name + std::string(TempMark) + std::to_string(getpid()) + "-" + std::to_string(n) +
               std::string(TempEnd);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0 && errno != EEXIST) return errno;
    }
    if (fd < 0) return EEXIST;
    int error = 0;
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (error == 0 && left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (error == 0 && fchmod(fd, mode) != 0) error = errno;
    if (error == 0 && fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    // rename() replaces the name itself: a link there is replaced, never
    // written through.
    if (error == 0 && std::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        return error;
    }
    SyncDirectory(dir);
    return 0;
}

void ReplaceFileOrThrow(const std::string& path, std::string_view bytes, const ReplaceOptions& options,
                        const std::string& message) {
    const int error = ReplaceFile(path, bytes, options);
    if (error != 0) throw FileError(WithReason(message, error), SystemReason(error));
}

std::string SystemReason(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT: return "空き容量がありません";
        case EACCES:
        case EPERM: return "アクセスが許可されていません";
        case EROFS: return "読み取り専用のファイルシステムです";
        case ENOENT: return "ファイルまたはフォルダーがありません";
        case ENOTDIR: return "途中の名前がフォルダーではありません";
        case EISDIR: return "フォルダーです";
        case ErrNotRegularFile: return "通常のファイルではありません";
        case ErrDanglingLink: return "シンボリックリンクの先がありません";
        case ELOOP: return "シンボリックリンクが循環しています";
        case ENAMETOOLONG: return "名前が長すぎます";
        case EFBIG: return "ファイルが大きすぎます";
        case EIO: return "入出力エラーが起きました";
        case EMFILE:
        case ENFILE: return "開いているファイルが多すぎます";
        case ENOMEM: return "メモリが足りません";
        case EEXIST: return "同じ名前のファイルがあります";
        case EBUSY:
        case ETXTBSY: return "使用中です";
        case EXDEV: return "別のファイルシステムにあります";
        default: return "システムのエラー " + std::to_string(error);
    }
}

std::string WithReason(const std::string& message, int error) {
    return message + "（" + SystemReason(error) + "）";
}

int MakeFolders(const std::string& path) {
    if (path.empty()) return ENOENT;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const std::string parent = DirectoryOf(path);
    if (parent != path && parent != "." && parent != "/") {
        const int error = MakeFolders(parent);
        if (error != 0) return error;
    }
    if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return errno;
    // The superuser makes a folder anywhere; one it could not write into as
    // a user (a read-only parent) is still made, as the system allows.
    return 0;
}

namespace {
FileError ReadFailure(const std::string& message, int error) {
    return FileError(WithReason(message, error), SystemReason(error));
}
}  // namespace

std::string ReadWholeFile(const std::string& path) { return ReadWholeFile(path, MaxReadSize); }

std::string ReadWholeFile(const std::string& path, unsigned long long limit) {
    const auto tooLarge = [&] {
        return FileTooLargeError(path + " は大きすぎます");
    };
    // Opened without waiting, so that a FIFO or a device never blocks; only
    // regular files are read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) throw ReadFailure(path + " を開けません", errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (fstat(fd, &st) != 0) throw ReadFailure(path + " を読み込めません", errno);
    if (S_ISDIR(st.st_mode)) throw FileError(path + " はファイルではありません", SystemReason(EISDIR));
    if (!S_ISREG(st.st_mode)) throw FileError(path + " は通常のファイルではありません", SystemReason(ErrNotRegularFile));
    // As on writing, the superuser takes a file without any read bit as
    // closed to reading.
    if (geteuid() == 0 && (st.st_mode & 0444) == 0) throw ReadFailure(path + " を開けません", EACCES);
    if (static_cast<unsigned long long>(st.st_size) > limit) throw tooLarge();
    std::string text;
    text.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    for (;;) {
        if (got == text.size()) {
            // Measured size reached: check for an end the file may have
            // moved since, without doubling the buffer first.
            char more[4096];
            ssize_t n = 0;
            do {
                n = ::read(fd, more, sizeof more);
            } while (n < 0 && errno == EINTR);
            if (n < 0) throw ReadFailure(path + " を読み込めません", errno);
            if (n == 0) break;
            if (got + static_cast<std::size_t>(n) > limit) throw tooLarge();
            text.append(more, static_cast<std::size_t>(n));
            got += static_cast<std::size_t>(n);
            continue;
        }
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ReadFailure(path + " を読み込めません", errno);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    return text;
}

}  // namespace kavum::platform
