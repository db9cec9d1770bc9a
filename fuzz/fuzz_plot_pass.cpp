// The plotting pass over a whole data text: every precision, the capture
// pass and the re-plot that writes the names back into the heading lines.
#include "plot/PlotPass.h"
#include "platform/Errors.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

class Lines : public kavum::plot::PlotText {
public:
    explicit Lines(std::string_view text) {
        std::size_t start = 0;
        for (std::size_t i = 0; i <= text.size(); ++i) {
            if (i == text.size() || text[i] == '\n') {
                std::string_view line = text.substr(start, i - start);
                if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
                if (i < text.size() || !line.empty()) lines_.emplace_back(line);
                start = i + 1;
            }
        }
    }
    std::size_t LineCount() const override { return lines_.size(); }
    std::string Line(std::size_t i) const override { return lines_[i]; }
    void ReplaceLine(std::size_t i, const std::string& text) override { lines_[i] = text; }

private:
    std::vector<std::string> lines_;
};

class Counter : public kavum::plot::PlotTarget {
public:
    void ActivateCategory(int k) override {
        if (k < 1 || k > kavum::plot::MaxCategories) std::abort();
    }
    void AddPoint(kavum::plot::View, int k, double x, double y) override {
        if (k < 1 || k > kavum::plot::MaxCategories) std::abort();
        if (std::isnan(x) || std::isnan(y)) std::abort();
        ++points;
    }
    long long points = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    using P = kavum::geo::PointPrecision;
    for (P p : {P::LatLon, P::StandardMesh, P::DoubleMesh, P::FivefoldMesh, P::SecondMesh, P::HalfMesh}) {
        for (bool profiles : {true, false}) {
            Lines lines(text);
            kavum::plot::PlotOptions options;
            options.precision = p;
            options.profileMap = profiles;
            kavum::plot::LegendNameArray names;
            Counter target;
            int reached = -1;
            int count = 0;
            try {
                count = kavum::plot::PlotOnMap(lines, options, names, target, &reached);
            } catch (const kavum::platform::KavumError&) {
                if (reached < 0 || reached > kavum::plot::MaxCategories) std::abort();
                continue;
            }
            if (count < 0 || count > kavum::plot::MaxCategories) std::abort();
            // The re-plot over the same text finds the same categories and
            // stores the same points.
            options.captureNames = false;
            Counter again;
            if (kavum::plot::PlotOnMap(lines, options, names, again) != count) std::abort();
            if (again.points != target.points) std::abort();
        }
    }
    return 0;
}
