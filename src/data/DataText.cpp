#include "DataText.h"

#include "platform/Cp932.h"
#include "platform/Errors.h"
#include "platform/Profile.h"

namespace kavum::data {

void DataText::AppendFileText(std::string_view bytes) {
    for (std::string_view line : platform::SplitLines(bytes)) lines_.emplace_back(line);
}

std::string DataText::FileText() const {
    std::size_t size = 0;
    for (const std::string& l : lines_) size += l.size() + 2;
    std::string text;
    text.reserve(size);
    for (const std::string& l : lines_) {
        text += l;
        text += "\r\n";
    }
    return text;
}

std::vector<std::string> DataText::ReadFileLines(const std::string& path) {
    DataText t;
    t.AppendFileText(platform::ReadWholeFile(path));
    return std::move(t.lines_);
}

void DataText::SaveToFile(const std::string& path) const {
    if (!platform::WriteFileAtomically(path, FileText())) {
        throw platform::FileError(path + " に書き込めません");
    }
}

}  // namespace kavum::data
