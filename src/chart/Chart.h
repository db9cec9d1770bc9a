#pragma once
// TChart: the chart in a window. It paints the chart's picture, redrawn when
// the chart has changed, and hands the pointer's presses to its owner; the
// chart itself (axes, series, drawing) is TCustomChart.
#include "chart/CustomChart.h"

#include <QWidget>

#include <exception>
#include <functional>

namespace kavum::chart {

class TChart : public QWidget, public TCustomChart {
    Q_OBJECT

public:
    explicit TChart(QWidget* parent = nullptr);
    ~TChart() override;

    // The widget's place and name are the chart's.
    using QWidget::geometry;
    using QWidget::height;
    using QWidget::hide;
    using QWidget::isHidden;
    using QWidget::resize;
    using QWidget::setGeometry;
    using QWidget::show;
    using QWidget::size;
    using QWidget::width;
    using QWidget::x;
    using QWidget::y;
    using QObject::objectName;
    using QObject::setObjectName;

    // Hooks of the owner for the pointer.
    std::function<void(TChart& sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)>
        OnMouseDown;
    std::function<void(TChart& sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y)>
        OnMouseUp;
    std::function<void(TChart& sender)> OnDblClick;
    std::function<void(TChart& sender, const QPoint& clientPos, const QPoint& globalPos)> OnContextPopup;
    // Failures inside a paint or an event handler, which must not reach the
    // event loop.
    std::function<void(const std::exception& error)> OnError;

protected:
    QRect ChartGeometry() const override { return QWidget::geometry(); }
    void SetChartGeometry(const QRect& r) override { QWidget::setGeometry(r); }
    bool ChartShown() const override { return !QWidget::isHidden(); }
    void SetChartShown(bool on) override { QWidget::setVisible(on); }
    QString ChartName() const override { return QObject::objectName(); }
    void SetChartName(const QString& name) override { QObject::setObjectName(name); }
    void ScheduleRepaint() override { update(); }
    void RepaintNow() override;
    double PixelRatio() const override { return devicePixelRatioF(); }

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ReportError(const std::exception& error);
    template <class F>
    void Guarded(F&& f);
};

}  // namespace kavum::chart
