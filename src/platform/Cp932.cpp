#include "Cp932.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace kavum::platform {
namespace {

constexpr char32_t EscapeBase = 0xF700;

// One conversion descriptor per direction and thread, opened on first use.
class Converter {
public:
    Converter(const char* to, const char* from) {
        cd_ = iconv_open(to, from);
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
        }
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much of [in, in+len) as possible, appending to out.
    // Returns the number of input bytes consumed; errno-like code in err
    // (0 when everything was converted).
    std::size_t Run(const char* in, std::size_t len, std::string& out, int& err) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in);
        std::size_t left = len;
        err = 0;
        char buffer[4096];
        while (left > 0) {
            char* dst = buffer;
            std::size_t room = sizeof buffer;
            std::size_t r = iconv(cd_, &src, &left, &dst, &room);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (r == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG) continue;
                err = errno;
                break;
            }
        }
        // Flush any shift state (none for these encodings, but keep it right).
        char* dst = buffer;
        std::size_t room = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &room);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        return len - left;
    }

private:
    iconv_t cd_;
};

Converter& Decoder() {
    thread_local Converter c("UTF-8", "CP932");
    return c;
}
Converter& Encoder() {
    thread_local Converter c("CP932", "UTF-8");
    return c;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Length of the UTF-8 sequence that starts with byte b (1 for stray bytes).
std::size_t Utf8Length(unsigned char b) {
    if (b < 0xC0) return 1;
    if (b < 0xE0) return 2;
    if (b < 0xF0) return 3;
    return 4;
}

bool IsAscii(std::string_view s) {
    for (unsigned char c : s) {
        if (c >= 0x80) return false;
    }
    return true;
}

// True when s[i..] starts an escaped byte U+F780..U+F7FF (EF 9E 80 .. EF 9F BF).
bool IsEscape(std::string_view s, std::size_t i) {
    return i + 2 < s.size() && static_cast<unsigned char>(s[i]) == 0xEF &&
           (static_cast<unsigned char>(s[i + 1]) == 0x9E || static_cast<unsigned char>(s[i + 1]) == 0x9F);
}

}  // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
    if (IsAscii(cp932)) return std::string(cp932);
    std::string out;
    out.reserve(cp932.size() * 3 / 2);
    std::size_t pos = 0;
    while (pos < cp932.size()) {
        int err = 0;
        pos += Decoder().Run(cp932.data() + pos, cp932.size() - pos, out, err);
        if (err == 0) break;
        // An invalid or incomplete sequence: carry its first byte through.
        AppendUtf8(out, EscapeBase + static_cast<unsigned char>(cp932[pos]));
        ++pos;
    }
    return out;
}

std::string Cp932ToDisplay(std::string_view cp932) {
    std::string utf8 = Cp932ToUtf8(cp932);
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        if (IsEscape(utf8, i)) {
            out.push_back('?');
            i += 3;
        } else {
            out.push_back(utf8[i++]);
        }
    }
    return out;
}

std::string Utf8ToCp932(std::string_view utf8, bool* exact) {
    if (exact) *exact = true;
    if (IsAscii(utf8)) return std::string(utf8);
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        // The run up to the next escaped byte goes through iconv.
        std::size_t end = pos;
        while (end < utf8.size() && !IsEscape(utf8, end)) ++end;
        while (pos < end) {
            int err = 0;
            pos += Encoder().Run(utf8.data() + pos, end - pos, out, err);
            if (err == 0) break;
            // A character without a CP932 form (or broken UTF-8).
            out.push_back('?');
            if (exact) *exact = false;
            pos += Utf8Length(static_cast<unsigned char>(utf8[pos]));
            if (pos > end) pos = end;
        }
        if (pos < utf8.size()) {
            // Escaped byte: EF 9E/9F xx -> U+F780..U+F7FF.
            const auto b1 = static_cast<unsigned char>(utf8[pos + 1]);
            const auto b2 = static_cast<unsigned char>(utf8[pos + 2]);
            const char32_t cp = 0xF000 | ((b1 & 0x3F) << 6) | (b2 & 0x3F);
            out.push_back(static_cast<char>(cp - EscapeBase));
            pos += 3;
        }
    }
    return out;
}

QString Cp932ToQString(std::string_view cp932) {
    if (IsAscii(cp932)) return QString::fromLatin1(cp932.data(), static_cast<qsizetype>(cp932.size()));
    const std::string utf8 = Cp932ToUtf8(cp932);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string QStringToCp932(const QString& text, bool* exact) {
    const QByteArray utf8 = text.toUtf8();
    return Utf8ToCp932(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())), exact);
}

bool EncodesInCp932(const QString& text) {
    bool exact = true;
    QStringToCp932(text, &exact);
    return exact;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    // A text without any LF that holds CRs ends its lines with a lone CR.
    // Otherwise lines end at LF or CR LF, and a lone CR stays in its line.
    const char end = text.find('\n') == std::string_view::npos && text.find('\r') != std::string_view::npos ? '\r' : '\n';
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find(end, start);
        std::size_t stop = nl == std::string_view::npos ? text.size() : nl;
        std::size_t lineEnd = stop;
        if (end == '\n' && lineEnd > start && text[lineEnd - 1] == '\r') --lineEnd;
        lines.push_back(text.substr(start, lineEnd - start));
        if (nl == std::string_view::npos) break;
        start = nl + 1;
    }
    return lines;
}

}  // namespace kavum::platform
