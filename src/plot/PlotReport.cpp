#include "PlotReport.h"

#include <algorithm>
#include <utility>

namespace kavum::plot {

using data::LineNotice;

namespace {

constexpr LineNotice Notices[] = {LineNotice::OutsideMeshArea, LineNotice::MeshCodeWithComma,
                                  LineNotice::ExponentCodeInexact, LineNotice::LooksDecimal,
                                  LineNotice::ExponentCode};

std::string Number(std::size_t n) { return std::to_string(n); }

}  // namespace

const char* PlotReport::TenthHeadingMessage() {
    return "10 番目の見出しです。10 番目以降の分類は描かれません（描けるのは 9 分類までです）";
}

void PlotReport::Note(LineNotice notice, std::size_t line) {
    if (notice == LineNotice::None) return;
    Kind& k = kinds_[static_cast<std::size_t>(notice)];
    ++k.count;
    if (k.lines.size() < KeptLines) k.lines.push_back(line);
}

void PlotReport::NoteTenthHeading(std::size_t line) {
    if (tenthHeading_ == NoLine) tenthHeading_ = line;
}

std::size_t PlotReport::Refused() const {
    std::size_t n = 0;
    for (LineNotice notice : Notices) {
        if (!data::NoticeDrawn(notice)) n += Of(notice).count;
    }
    return n;
}

std::size_t PlotReport::Skipped() const { return notAccepted + Refused() + beforeHeading + afterNinth; }

bool PlotReport::HasWarnings() const {
    if (HasTenthHeading() || beforeHeading > 0) return true;
    return std::any_of(std::begin(Notices), std::end(Notices), [this](LineNotice n) { return Of(n).count > 0; });
}

std::vector<std::string> PlotReport::LineMessages(const std::string& prefix) const {
    std::vector<std::pair<std::size_t, const char*>> lines;
    for (LineNotice notice : Notices) {
        for (std::size_t line : Of(notice).lines) lines.emplace_back(line, data::NoticeMessage(notice));
    }
    if (HasTenthHeading()) lines.emplace_back(tenthHeading_, TenthHeadingMessage());
    std::stable_sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> out;
    out.reserve(lines.size() + KindCount);
    for (const auto& [line, message] : lines) out.push_back(prefix + ":" + Number(line + 1) + ": " + message);
    for (LineNotice notice : Notices) {
        const Kind& k = Of(notice);
        if (k.count > k.lines.size()) {
            out.push_back(prefix + ": ほかに " + Number(k.count - k.lines.size()) + " 行: " + data::NoticeMessage(notice));
        }
    }
    return out;
}

std::string PlotReport::Summary() const {
    std::string s = Number(accepted) + " 件のレコードを描きました";
    const std::size_t skipped = Skipped();
    if (skipped == 0) return s + "。";
    s += "。描かなかったレコード " + Number(skipped) + " 件（";
    std::vector<std::string> parts;
    if (notAccepted) parts.push_back("点の精度より粗いなど " + Number(notAccepted) + " 件");
    if (Refused()) parts.push_back("位置やコードが不正 " + Number(Refused()) + " 件");
    if (beforeHeading) parts.push_back("最初の見出しより前 " + Number(beforeHeading) + " 件");
    if (afterNinth) parts.push_back("10 番目以降の分類 " + Number(afterNinth) + " 件");
    for (std::size_t i = 0; i < parts.size(); ++i) s += (i ? "、" : "") + parts[i];
    return s + "）。";
}

std::string PlotReport::WindowMessage(std::size_t firstLines) const {
    if (!HasWarnings()) return {};
    std::string s;
    auto lineList = [firstLines](const std::vector<std::size_t>& lines, std::size_t count) {
        std::string t;
        for (std::size_t i = 0; i < lines.size() && i < firstLines; ++i) t += (i ? ", " : "") + Number(lines[i] + 1);
        if (count > std::min(lines.size(), firstLines)) t += " ほか";
        return t;
    };
    for (LineNotice notice : Notices) {
        const Kind& k = Of(notice);
        if (k.count == 0) continue;
        s += data::NoticeMessage(notice);
        s += "\n    " + Number(k.count) + " 行（" + lineList(k.lines, k.count) + " 行目）\n";
    }
    if (HasTenthHeading()) s += std::string(TenthHeadingMessage()) + "\n    " + Number(tenthHeading_ + 1) + " 行目\n";
    if (beforeHeading) s += "最初の見出しより前のレコードは分類がないため描きません\n    " + Number(beforeHeading) + " 行\n";
    return s + "\n" + Summary();
}

}  // namespace kavum::plot
