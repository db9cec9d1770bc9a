#pragma once
// What a plotting pass has to tell the user: suspicious or refused record
// lines by kind (with the first lines of each kind), a tenth heading, and
// how many records were not drawn and why. Pure data; the window shows it
// as one message and a status bar text, kavum-render as FILE:LINE lines.
#include "data/RecordLine.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace kavum::plot {

class PlotReport {
public:
    // Line indexes kept for each kind of notice (the count goes on).
    static constexpr std::size_t KeptLines = 100;

    struct Kind {
        std::size_t count = 0;
        std::vector<std::size_t> lines;   // indexes into the text, from 0
    };

    void Clear() { *this = PlotReport(); }
    void Note(data::LineNotice notice, std::size_t line);
    void NoteTenthHeading(std::size_t line);
    void NoteAccepted() { ++accepted; }
    void NoteNotAccepted() { ++notAccepted; }
    void NoteBeforeHeading() { ++beforeHeading; }
    void NoteAfterNinth() { ++afterNinth; }

    const Kind& Of(data::LineNotice notice) const { return kinds_[static_cast<std::size_t>(notice)]; }
    // The index of the tenth heading line, when there was one.
    bool HasTenthHeading() const { return tenthHeading_ != NoLine; }
    std::size_t TenthHeadingLine() const { return tenthHeading_; }

    // Records not drawn: not accepted at the precision, refused, above the
    // first heading or under the tenth one.
    std::size_t Skipped() const;
    std::size_t Refused() const;
    // True when there is a notice or a tenth heading (not for records that
    // are only too coarse for the precision).
    bool HasWarnings() const;

    // "PREFIX:LINE: message" for every kept line in line order (line
    // numbers from 1), then a line for each kind whose lines were not all
    // kept. UTF-8.
    std::vector<std::string> LineMessages(const std::string& prefix) const;
    // One sentence of counts: records drawn and not drawn, by reason. UTF-8.
    std::string Summary() const;
    // The text of the window's message: each kind of notice with the first
    // `firstLines` line numbers, the tenth heading, and the summary. Empty
    // when there is nothing to warn of.
    std::string WindowMessage(std::size_t firstLines = 5) const;

    std::size_t accepted = 0;
    std::size_t notAccepted = 0;    // mesh codes too coarse for the precision and the like
    std::size_t beforeHeading = 0;
    std::size_t afterNinth = 0;

    // The message of a tenth heading (UTF-8).
    static const char* TenthHeadingMessage();

private:
    static constexpr std::size_t NoLine = static_cast<std::size_t>(-1);
    static constexpr std::size_t KindCount = 6;
    std::array<Kind, KindCount> kinds_{};
    std::size_t tenthHeading_ = NoLine;
};

}  // namespace kavum::plot
