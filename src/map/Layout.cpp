#include "Layout.h"

#include "platform/Errors.h"
#include "platform/Numbers.h"

#include <algorithm>
#include <cmath>

namespace kavum::map {

using platform::RoundHalfEven;

double MapAspect(const LayoutInput& in) {
    if (!(in.gx2 > in.gx1) || !(in.gy2 > in.gy1)) {
        throw platform::KavumError(
            "作図の範囲が正しくありません。西の経度は東の経度より小さく、南の緯度は北の緯度より小さくしてください。");
    }
    if (!(in.i2k > 0) || !std::isfinite(in.i2k)) {
        throw platform::KavumError("緯度幅／経度幅には正の数を指定してください。");
    }
    const double aspect = (in.gy2 - in.gy1) / (in.gx2 - in.gx1) * in.i2k;
    if (!std::isfinite(aspect) || aspect <= 0) {
        throw platform::KavumError("作図の範囲が正しくありません。");
    }
    return aspect;
}

LayoutResult ComputeLayout(const LayoutInput& in) {
    LayoutResult r;
    r.mapAspect = MapAspect(in);
    const double aspect = r.mapAspect;
    ChartPlace& c1 = r.charts[0];
    ChartPlace& c2 = r.charts[1];
    ChartPlace& c3 = r.charts[2];
    c1.visible = c2.visible = c3.visible = true;
    const int w = in.clientWidth;
    const int h = in.clientHeight;

    switch (in.showMode) {
    case 1:
        c2.visible = c3.visible = false;
        if (in.fitToWidth) {
            c1.width = w;
            c1.height = RoundHalfEven(c1.width * aspect);
        } else {
            c1.height = h;
            c1.width = RoundHalfEven(c1.height / aspect);
        }
        c1.left = 0;
        c1.top = 0;
        break;
    case 2:
        c1.visible = false;
        if (aspect < 1) {
            c2.width = w;
            c3.width = RoundHalfEven(c2.width * aspect);
        } else {
            c3.width = w;
            c2.width = RoundHalfEven(c3.width / aspect);
        }
        c2.height = RoundHalfEven(h / 2.0);
        c3.height = c2.height;
        c2.left = 0;
        c2.top = 0;
        c3.left = 0;
        c3.top = c2.height;
        break;
    case 3: {
        if (in.fitToWidth) {
            c1.width = RoundHalfEven(4.0 * w / 5.0);
            c1.height = RoundHalfEven(c1.width * aspect);
        } else {
            c1.height = RoundHalfEven(4.0 * h / 5.0);
            c1.width = RoundHalfEven(c1.height / aspect);
        }
        const int p = RoundHalfEven(std::max(c1.width, c1.height) / 4.0);
        c2.width = c1.width;
        c2.height = p;
        c3.height = c1.height;
        c3.width = p;
        c1.top = p - RoundHalfEven(c1.height * 0.03);
        c1.left = p;
        c2.top = 0;
        c2.left = p;
        c3.top = c1.top;
        c3.left = 0;
        break;
    }
    default:
        break;
    }
    return r;
}

}  // namespace kavum::map
