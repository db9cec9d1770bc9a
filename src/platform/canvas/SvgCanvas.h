#pragma once
// The canvas that writes an SVG document: the picture's pixels are its user
// units, 96 to the inch. Text names the program's face and, after it, the
// fonts of the same metrics, so that a reader without the first uses those.
#include "platform/canvas/VectorCanvas.h"

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>

#include <string>
#include <vector>

namespace kavum::platform {

class TSvgCanvas : public TVectorCanvas {
public:
    // The document is scale times the picture's size (in pixels at 96 dpi,
    // or with millimetres in millimetres); the picture keeps its pixels as
    // user units.
    TSvgCanvas(int width, int height, const QString& title = QString(), double scale = 1.0,
               bool millimetres = false);
    ~TSvgCanvas() override;

    // Closes the document and returns it; drawing afterwards is ignored.
    QByteArray Finish();

protected:
    void WritePath(const Path& path, const std::optional<Paint>& fill, bool evenOdd,
                   const std::optional<Stroke>& stroke) override;
    void WriteText(const QString& text, const std::vector<double>& xs, double baseline,
                   const TCanvasFont& font) override;
    void WriteClip(const std::optional<TRect>& clip) override;

public:
    void BeginGroup(const QString& id, const QString& label = QString()) override;
    void EndGroup() override;

private:
    // Opens the clip's group for what is drawn within the box (picture
    // pixels) when the box reaches out of the clip, and closes it when not.
    void ClipFor(double left, double top, double right, double bottom);
    void CloseClip();
    void ClosePaint();
    // Where each open group begins in the document and what it was begun
    // with: a group that ends empty is taken out again.
    struct Begun {
        qsizetype offset;
        qsizetype contentStart;
        QString id;
    };
    std::vector<Begun> begun_;
    QMap<QByteArray, QByteArray> clipIds_;  // clip path ids by their rectangle
    QByteArray paint_;  // of the open paint group
    std::optional<TRect> clip_;
    int groups_ = 0;
    QSet<QString> ids_;
    QByteArray out_;
    std::string pathText_;  // the path being written
    bool finished_ = false;
    bool clipped_ = false;
    int clips_ = 0;
};

// The CSS font families for a face of the program: its own name first.
QString FontFamiliesOf(const QString& face);

}  // namespace kavum::platform
