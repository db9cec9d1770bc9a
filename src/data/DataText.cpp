#include "DataText.h"

#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/Profile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace kavum::data {

namespace {

// Calls f(start, length) for every line of the text, in order (lines end at
// CR LF, LF or a lone CR), and returns how many there were.
template <class F>
std::size_t ForEachLine(std::string_view text, F&& f) {
    const char* const base = text.data();
    const std::size_t n = text.size();
    std::size_t count = 0;
    std::size_t start = 0;
    std::size_t lfAt = 0;  // the next LF at or after start, or n
    bool lfKnown = false;
    while (start < n) {
        // The next LF (found again only once passed, so that lone CRs do
        // not make the search quadratic), then the first CR before it: both
        // searches go over many bytes at a time.
        if (!lfKnown || lfAt < start) {
            const void* lf = std::memchr(base + start, '\n', n - start);
            lfAt = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - base) : n;
            lfKnown = true;
        }
        const void* cr = std::memchr(base + start, '\r', lfAt - start);
        const std::size_t stop = cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - base) : lfAt;
        f(start, stop - start);
        ++count;
        if (stop == n) break;
        start = stop + (base[stop] == '\r' && stop + 1 < n && base[stop + 1] == '\n' ? 2 : 1);
    }
    return count;
}

}  // namespace

std::vector<std::string_view> SplitDataLines(std::string_view text) {
    std::vector<std::string_view> lines;
    ForEachLine(text, [&](std::size_t start, std::size_t length) { lines.push_back(text.substr(start, length)); });
    return lines;
}

namespace {

constexpr std::string_view Bom = "\xEF\xBB\xBF";

// Valid UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF);
// *high tells whether any byte is above 0x7F.
bool ValidUtf8(std::string_view s, bool* high) {
    *high = false;
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            // Plain ASCII eight bytes at a time.
            std::uint64_t word = 0;
            while (i + 8 <= n) {
                std::memcpy(&word, s.data() + i, 8);
                if (word & 0x8080808080808080ull) break;
                i += 8;
            }
            continue;
        }
        *high = true;
        std::size_t len = 0;
        unsigned lo = 0x80;
        unsigned hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (i + len > n) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if (d < (k == 1 ? lo : 0x80) || d > (k == 1 ? hi : 0xBF)) return false;
        }
        i += len;
    }
    return true;
}

}  // namespace

TextEncoding DetectEncoding(std::string_view bytes) {
    if (bytes.substr(0, 3) == Bom) return TextEncoding::Utf8Bom;
    bool high = false;
    return ValidUtf8(bytes, &high) && high ? TextEncoding::Utf8 : TextEncoding::ShiftJis;
}

void DataText::Append(std::string_view line) {
    if (line.size() > std::numeric_limits<std::uint32_t>::max()) throw platform::FileError("line too long");
    starts_.push_back(bytes_.size());
    lengths_.push_back(static_cast<std::uint32_t>(line.size()));
    bytes_.append(line);
}

void DataText::ReplaceLine(std::size_t i, std::string_view text) {
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) throw platform::FileError("line too long");
    if (text.size() > lengths_.at(i)) {
        starts_[i] = bytes_.size();
        bytes_.append(text);
    } else if (!text.empty()) {
        std::memmove(bytes_.data() + starts_[i], text.data(), text.size());
    }
    lengths_[i] = static_cast<std::uint32_t>(text.size());
}

std::vector<std::string> DataText::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(LineCount());
    for (std::size_t i = 0; i < LineCount(); ++i) lines.emplace_back(Line(i));
    return lines;
}

void DataText::Clear() {
    encoding_ = TextEncoding::ShiftJis;
    originals_.clear();
    bytes_.clear();
    bytes_.shrink_to_fit();
    starts_.clear();
    starts_.shrink_to_fit();
    lengths_.clear();
    lengths_.shrink_to_fit();
}

void DataText::SetLines(const std::vector<std::string>& lines) {
    DataText t;
    std::size_t size = 0;
    for (const std::string& l : lines) size += l.size();
    t.bytes_.reserve(size);
    t.starts_.reserve(lines.size());
    t.lengths_.reserve(lines.size());
    for (const std::string& l : lines) {
        if (l.find_first_of("\r\n") == std::string::npos) {
            t.Append(l);
        } else {
            // A line end inside a line ends it, as in a file.
            const std::vector<std::string_view> parts = SplitDataLines(l);
            for (std::string_view part : parts) t.Append(part);
            if (parts.empty() || l.back() == '\n' || l.back() == '\r') t.Append({});
        }
    }
    t.encoding_ = encoding_;
    t.originals_ = std::move(originals_);
    *this = std::move(t);
}

void DataText::AppendUtf8Text(std::string_view bytes) {
    for (std::string_view line : SplitDataLines(bytes)) {
        bool exact = true;
        std::string cp932 = platform::Utf8ToCp932(line, &exact);
        if (!exact) originals_.emplace(cp932, std::string(line));
        Append(cp932);
    }
}

void DataText::AppendFileText(std::string_view bytes) {
    const TextEncoding e = DetectEncoding(bytes);
    if (LineCount() == 0) encoding_ = e;
    if (e == TextEncoding::ShiftJis) {
        for (std::string_view line : SplitDataLines(bytes)) Append(line);
    } else {
        // The byte order mark is no part of the first line.
        AppendUtf8Text(e == TextEncoding::Utf8Bom ? bytes.substr(Bom.size()) : bytes);
    }
}

void DataText::AppendFile(const std::string& path) {
    const unsigned long long held = bytes_.size() + 2ull * LineCount();
    std::string file;
    try {
        file = platform::ReadWholeFile(path, held >= MaxDataSize ? 0 : MaxDataSize - held);
    } catch (const platform::FileTooLargeError&) {
        const std::string reason = "分布データは " + std::to_string(MaxDataSize >> 20) + " MB までです";
        throw platform::FileTooLargeError(path + " は大きすぎます（" + reason + "）", reason);
    }
    if (DetectEncoding(file) != TextEncoding::ShiftJis) {
        AppendFileText(file);
        return;
    }
    if (LineCount() == 0) {
        encoding_ = TextEncoding::ShiftJis;
        // The file's buffer becomes the text: each line is moved down over
        // the line ends before it, so that no second copy is made.
        std::vector<std::uint64_t> starts;
        std::vector<std::uint32_t> lengths;
        std::size_t to = 0;
        // Room for a line at every LF, and one more.
        const std::size_t expected = static_cast<std::size_t>(std::count(file.begin(), file.end(), '\n')) + 1;
        starts.reserve(expected);
        lengths.reserve(expected);
        char* const base = file.data();
        ForEachLine(file, [&](std::size_t from, std::size_t length) {
            if (length > std::numeric_limits<std::uint32_t>::max()) throw platform::FileError("line too long");
            if (from != to) std::memmove(base + to, base + from, length);
            starts.push_back(to);
            lengths.push_back(static_cast<std::uint32_t>(length));
            to += length;
        });
        file.resize(to);
        bytes_ = std::move(file);
        starts_ = std::move(starts);
        lengths_ = std::move(lengths);
        return;
    }
    DataText more;
    more.AppendFile(path);
    more.originals_.merge(originals_);
    originals_ = std::move(more.originals_);
    bytes_.reserve(bytes_.size() + more.bytes_.size());
    starts_.reserve(starts_.size() + more.starts_.size());
    lengths_.reserve(lengths_.size() + more.lengths_.size());
    const std::uint64_t base = bytes_.size();
    bytes_ += more.bytes_;
    for (std::uint64_t s : more.starts_) starts_.push_back(base + s);
    lengths_.insert(lengths_.end(), more.lengths_.begin(), more.lengths_.end());
}

std::string DataText::FileText() const {
    if (encoding_ != TextEncoding::ShiftJis) {
        std::string text(encoding_ == TextEncoding::Utf8Bom ? Bom : std::string_view());
        for (std::size_t i = 0; i < LineCount(); ++i) {
            const std::string_view line = Line(i);
            const auto original = originals_.empty() ? originals_.end() : originals_.find(std::string(line));
            text += original != originals_.end() ? original->second : platform::Cp932ToUtf8(line);
            text += "\r\n";
        }
        return text;
    }
    std::size_t size = 0;
    for (std::uint32_t n : lengths_) size += n + 2;
    std::string text;
    text.reserve(size);
    for (std::size_t i = 0; i < LineCount(); ++i) {
        text += Line(i);
        text += "\r\n";
    }
    return text;
}

std::vector<std::string> DataText::ReadFileLines(const std::string& path) {
    DataText t;
    t.AppendFile(path);
    return t.Lines();
}

void DataText::SaveToFile(const std::string& path) const {
    platform::ReplaceFileOrThrow(path, FileText(), platform::ReplaceOptions{}, path + " に書き込めません");
}

}  // namespace kavum::data
