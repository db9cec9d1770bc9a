// The chart in a window: the paint of its picture and the pointer's events.
#include "chart/Chart.h"

#include "platform/canvas/PainterCanvas.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>

#include <stdexcept>

namespace kavum::chart {

TChartSender::operator TChart&() const {
    auto* window = dynamic_cast<TChart*>(&chart_);
    if (!window) throw std::logic_error("the chart is not shown in a window");
    return *window;
}

TChart::TChart(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

TChart::~TChart() {
    // The series and axes refer to the chart; they go first, while the
    // window still stands.
    series_.clear();
    bufferCanvas_.reset();
}

void TChart::RepaintNow() {
    if (isVisible()) repaint();
}


void TChart::ReportError(const std::exception& error) {
    if (OnError) {
        try {
            OnError(error);
        } catch (...) {
            qWarning("chart: %s", error.what());
        }
    } else {
        qWarning("chart: %s", error.what());
    }
}

template <class F>
void TChart::Guarded(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        ReportError(e);
    } catch (...) {
        ReportError(std::runtime_error("unknown failure"));
    }
}

void TChart::paintEvent(QPaintEvent*) {
    bufferCanvas_.reset();
    const int w = std::max(1, width());
    const int h = std::max(1, height());
    EnsureBuffer();
    if (dirty_) {
        dirty_ = false;
        buffer_.fill(Qt::white);
        Guarded([&] {
            platform::TPainterCanvas canvas(buffer_);
            Draw(canvas, TRect{0, 0, w, h});
            lastPen_ = canvas.Pen();
            lastBrush_ = canvas.Brush();
            lastFont_ = canvas.Font();
            lastTransparent_ = canvas.TextTransparent();
        });
    }
    QPainter painter(this);
    painter.drawImage(0, 0, buffer_);
}

void TChart::resizeEvent(QResizeEvent* event) {
    dirty_ = true;
    QWidget::resizeEvent(event);
}

void TChart::mousePressEvent(QMouseEvent* event) {
    if (OnMouseDown) {
        const QPoint p = event->position().toPoint();
        Guarded([&] { OnMouseDown(*this, event->button(), event->modifiers(), p.x(), p.y()); });
    }
    QWidget::mousePressEvent(event);
}

void TChart::mouseReleaseEvent(QMouseEvent* event) {
    if (OnMouseUp) {
        const QPoint p = event->position().toPoint();
        Guarded([&] { OnMouseUp(*this, event->button(), event->modifiers(), p.x(), p.y()); });
    }
    QWidget::mouseReleaseEvent(event);
}

void TChart::mouseDoubleClickEvent(QMouseEvent* event) {
    if (OnDblClick) Guarded([&] { OnDblClick(*this); });
    QWidget::mouseDoubleClickEvent(event);
}

void TChart::contextMenuEvent(QContextMenuEvent* event) {
    if (OnContextPopup) {
        Guarded([&] { OnContextPopup(*this, event->pos(), event->globalPos()); });
        event->accept();
        return;
    }
    QWidget::contextMenuEvent(event);
}

}  // namespace kavum::chart
