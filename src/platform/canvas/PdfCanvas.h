#pragma once
// The canvas that writes a PDF document of one page the size of the picture,
// a picture pixel being 1/96 inch. Paths stay vectors; text is set in the
// fonts the screen uses, embedded with the glyphs the page needs (a font
// without TrueType outlines gives its glyphs as paths instead).
#include "platform/canvas/VectorCanvas.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace kavum::platform {

class TPdfCanvas : public TVectorCanvas {
public:
    // The page is scale times the picture's size (a picture pixel is then
    // scale/96 inch).
    TPdfCanvas(int width, int height, const QString& title = QString(), double scale = 1.0);
    ~TPdfCanvas() override;

    // Closes the document and returns it; drawing afterwards is ignored.
    QByteArray Finish();

    // Groups are the page's optional content, nested as they are begun.
    void BeginGroup(const QString& id, const QString& label = QString()) override;
    void EndGroup() override;

protected:
    void WritePath(const Path& path, const std::optional<Paint>& fill, bool evenOdd,
                   const std::optional<Stroke>& stroke) override;
    void WriteText(const QString& text, const std::vector<double>& xs, double baseline,
                   const TCanvasFont& font) override;
    void WriteClip(const std::optional<TRect>& clip) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace kavum::platform
