#include "DataText.h"

#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/Profile.h"

#include <cstring>
#include <limits>

namespace kavum::data {

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
    for (const std::string& l : lines) t.Append(l);
    *this = std::move(t);
}

void DataText::AppendFileText(std::string_view bytes) {
    for (std::string_view line : platform::SplitLines(bytes)) Append(line);
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
    if (LineCount() == 0) {
        // The file's buffer becomes the text: each line is moved down over
        // the line ends before it, so that no second copy is made.
        std::vector<std::uint64_t> starts;
        std::vector<std::uint32_t> lengths;
        std::size_t to = 0;
        const std::vector<std::string_view> lines = platform::SplitLines(file);
        starts.reserve(lines.size());
        lengths.reserve(lines.size());
        for (std::string_view line : lines) {
            if (line.size() > std::numeric_limits<std::uint32_t>::max()) throw platform::FileError("line too long");
            const std::size_t from = static_cast<std::size_t>(line.data() - file.data());
            if (from != to) std::memmove(file.data() + to, line.data(), line.size());
            starts.push_back(to);
            lengths.push_back(static_cast<std::uint32_t>(line.size()));
            to += line.size();
        }
        file.resize(to);
        bytes_ = std::move(file);
        starts_ = std::move(starts);
        lengths_ = std::move(lengths);
        return;
    }
    DataText more;
    more.AppendFile(path);
    bytes_.reserve(bytes_.size() + more.bytes_.size());
    starts_.reserve(starts_.size() + more.starts_.size());
    lengths_.reserve(lengths_.size() + more.lengths_.size());
    const std::uint64_t base = bytes_.size();
    bytes_ += more.bytes_;
    for (std::uint64_t s : more.starts_) starts_.push_back(base + s);
    lengths_.insert(lengths_.end(), more.lengths_.begin(), more.lengths_.end());
}

std::string DataText::FileText() const {
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
