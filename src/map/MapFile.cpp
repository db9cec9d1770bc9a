#include "MapFile.h"

#include "platform/Numbers.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace kavum::map {
namespace {

constexpr long double Pow10[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,  1e7L,  1e8L, 1e9L,
                                 1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L, 1e17L, 1e18L};

// The common form of map numbers, an optional minus, digits and an optional
// fraction ("-139.12345"), at most 18 digits in all. The digits make an exact
// integer and the power of ten is exact, so the one rounding of the division
// gives the correctly rounded extended value that the general conversion
// gives, and the same double. Anything else is left to that conversion.
bool PlainDecimal(std::string_view text, double& value) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) ++i;
    std::uint64_t mantissa = 0;
    int digits = 0;
    int fraction = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (++digits > 18) return false;
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
            if (point) ++fraction;
        } else if (c == '.' && !point && digits > 0) {
            point = true;
        } else {
            return false;
        }
    }
    if (digits == 0 || (point && fraction == 0)) return false;
    long double v = static_cast<long double>(mantissa);
    if (fraction > 0) v /= Pow10[fraction];
    value = static_cast<double>(negative ? -v : v);
    return true;
}

double MapNumber(std::string_view text) {
    double value;
    if (PlainDecimal(text, value)) return value;
    return platform::StrToFloat(text);
}

class MapReader {
public:
    MapReader(std::string_view text, const MapReadOptions& options, MapLineSink& sink)
        : text_(text), options_(options), sink_(sink) {}

    MapReadResult Run() {
        while (ReadLine()) {
            if (StartsWith(';') && !ReadLine()) break;  // one comment line is skipped
            if (options_.horizonMap) {
                if (line_ == "*H-MAP") ReadLineSection(MapSeries::H0, options_.mapColor);
                if (line_ == "*G-MAP") ReadLineSection(MapSeries::H0, options_.subColor);
            }
            if (options_.profileMap) {
                rotated_ = false;
                if (line_ == "*WE-PROF") ReadProfileSection(MapSeries::W0);
                if (line_ == "*WE-LINE") ReadLineSection(MapSeries::W0, options_.mshColor);
                rotated_ = options_.horizonMap;
                if (line_ == "*SN-PROF") ReadProfileSection(MapSeries::S0);
                if (line_ == "*SN-LINE") ReadLineSection(MapSeries::S0, options_.mshColor);
                if (line_ == "*END") break;
            }
        }
        MapReadResult result;
        result.sawEnd = sawEnd_;
        result.blank = !sawContent_;
        return result;
    }

private:
    // Next non-empty line into line_; false at the end of the text. Lines end
    // at LF; a CR anywhere in a line is dropped.
    bool ReadLine() {
        while (pos_ < text_.size()) {
            std::size_t nl = text_.find('\n', pos_);
            std::size_t end = nl == std::string_view::npos ? text_.size() : nl;
            std::string_view raw = text_.substr(pos_, end - pos_);
            pos_ = nl == std::string_view::npos ? text_.size() : nl + 1;
            ++lineCount_;
            if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
            if (raw.find('\r') != std::string_view::npos) {
                buffer_.clear();
                for (char c : raw) {
                    if (c != '\r') buffer_.push_back(c);
                }
                line_ = buffer_;
            } else {
                line_ = raw;
            }
            if (!line_.empty()) {
                sawContent_ = true;
                lineNumber_ = lineCount_;
                if (line_ == "*END") sawEnd_ = true;
                return true;
            }
        }
        line_ = {};
        return false;
    }

    bool StartsWith(char c) const { return !line_.empty() && line_.front() == c; }

    // Updates the current pair from the line; false when no pair has been
    // read yet and this line carries none.
    bool ReadPair() {
        const std::size_t comma = line_.find(',');
        if (comma != std::string_view::npos && comma > 0) {
            try {
                a_ = MapNumber(line_.substr(0, comma));
                b_ = MapNumber(line_.substr(comma + 1, 8));
            } catch (const platform::ConversionError& e) {
                throw MapNumberError(e.Message(), lineNumber_);
            }
            havePair_ = true;
        }
        return havePair_;
    }

    void ReadLineSection(MapSeries series, std::uint32_t colour) {
        if (line_ == "*G-MAP" && !options_.prefecture) {
            while (ReadLine()) {
                if (StartsWith('*')) return;
            }
            return;
        }
        sink_.SetPen(series, LinePenMode::Mask, options_.lineWidth);
        while (ReadLine()) {
            if (StartsWith(';')) {
                sink_.AddBreak(series);
                if (!ReadLine()) return;
            }
            if (StartsWith('*')) return;
            if (!ReadPair()) continue;
            if (a_ != 0) {
                sink_.AddPoint(series, a_, b_, colour);
            } else {
                sink_.AddBreak(series);
            }
        }
    }

    void AddOutlinePoint(MapSeries series, double position, double elevation) {
        if (rotated_) {
            sink_.AddPoint(series, elevation, position, options_.mapColor);
        } else {
            sink_.AddPoint(series, position, elevation, options_.mapColor);
        }
    }

    void ReadProfileSection(MapSeries series) {
        sink_.SetPen(series, LinePenMode::Copy, std::nullopt);
        double level = -1;
        while (ReadLine()) {
            if (StartsWith(';')) {
                sink_.AddBreak(series);
                if (!ReadLine()) return;
            }
            if (StartsWith('*')) return;
            if (!ReadPair()) continue;
            const double p = a_;
            const double e = b_;
            if (p == 0) {
                sink_.AddBreak(series);
                level = -1;
                continue;
            }
            if (level > -1) AddOutlinePoint(series, p, level);
            AddOutlinePoint(series, p, e);
            level = e;
        }
    }

    std::string_view text_;
    const MapReadOptions& options_;
    MapLineSink& sink_;
    std::size_t pos_ = 0;
    std::string_view line_;
    std::string buffer_;
    double a_ = 0;
    double b_ = 0;
    bool havePair_ = false;
    bool rotated_ = false;
    std::size_t lineCount_ = 0;    // lines taken from the text so far
    std::size_t lineNumber_ = 0;   // number of line_
    bool sawEnd_ = false;
    bool sawContent_ = false;
};

}  // namespace

MapReadResult ReadMapData(std::string_view fileText, const MapReadOptions& options, MapLineSink& sink) {
    return MapReader(fileText, options, sink).Run();
}

namespace {
constexpr const char* CutFile = " 行目でファイルが終わっています（終わりの *END がなく、途中で切れています）";
}  // namespace

void ReadMapFile(std::string_view fileText, const std::string& fileName, const MapReadOptions& options,
                 MapLineSink& sink) {
    const std::string where = "地図ファイル " + fileName + " の ";
    const bool lastLineEnded = fileText.empty() || fileText.back() == '\n';
    const std::size_t lastLine =
        static_cast<std::size_t>(std::count(fileText.begin(), fileText.end(), '\n')) + (lastLineEnded ? 0 : 1);
    MapReadResult result;
    try {
        result = ReadMapData(fileText, options, sink);
    } catch (const MapNumberError& e) {
        // A number that does not convert on a last line without its line
        // end: the file was cut in the middle of that line.
        if (!lastLineEnded && e.Line() == lastLine) {
            throw platform::FileError(where + std::to_string(lastLine) + CutFile);
        }
        throw platform::ConversionError(where + std::to_string(e.Line()) + " 行目: " + e.Message());
    }
    if (result.sawEnd || result.blank) return;
    throw platform::FileError(where + std::to_string(lastLine) + CutFile);
}

}  // namespace kavum::map
