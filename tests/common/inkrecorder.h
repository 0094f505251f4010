#pragma once

#include "platform/textcontrast.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainterPath>
#include <QWidget>

#include <algorithm>
#include <optional>
#include <vector>

/// Records what a widget paints, as a painter tells it: every filled area in its colour, and
/// every piece of text with the colour it is drawn in and the colour already under it (the
/// fills so far, laid over each other). So a test sees exactly what a reader gets, whatever the
/// font or the antialiasing: the text, its ink and its ground.
class InkRecorder : public QPaintDevice, private QPaintEngine
{
public:
    struct Text
    {
        QString text;
        QColor ink;
        QColor ground;
        double contrast() const { return TextContrast::contrastRatio(ink, ground); }
    };

    /// Paints `widget` (and its children) once; `background` is the ground where nothing was
    /// filled.
    static std::vector<Text> textsOf(QWidget *widget, const QColor &background)
    {
        InkRecorder recorder(widget->size(), background);
        widget->render(&recorder, QPoint(), QRegion(), QWidget::DrawChildren);
        return std::move(recorder.m_texts);
    }

    QPaintEngine *paintEngine() const override { return const_cast<InkRecorder *>(this); }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmWidthMM:
            return m_size.width() * 254 / 960;
        case PdmHeightMM:
            return m_size.height() * 254 / 960;
        case PdmNumColors:
            return INT_MAX;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    InkRecorder(QSize size, const QColor &background)
        : QPaintEngine(QPaintEngine::AllFeatures), m_size(size), m_background(background)
    {
    }

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }

    void updateState(const QPaintEngineState &state) override
    {
        const QPaintEngine::DirtyFlags dirty = state.state();
        if (dirty & DirtyTransform)
            m_transform = state.transform();
        if (dirty & DirtyPen)
            m_pen = state.pen();
        if (dirty & DirtyBrush)
            m_brush = state.brush();
        if (dirty & DirtyClipEnabled && !state.isClipEnabled())
            m_clip.reset();
        if (dirty & DirtyClipRegion) {
            QPainterPath path;
            path.addRegion(state.clipRegion());
            clip(state.clipOperation(), state.transform().map(path));
        }
        if (dirty & DirtyClipPath)
            clip(state.clipOperation(), state.transform().map(state.clipPath()));
    }

    void clip(Qt::ClipOperation operation, const QPainterPath &path)
    {
        if (operation == Qt::NoClip)
            m_clip.reset();
        else if (operation == Qt::IntersectClip && m_clip)
            m_clip = m_clip->intersected(path);
        else
            m_clip = path;
    }

    void fill(const QRectF &rect)
    {
        if (m_brush.style() == Qt::NoBrush || m_brush.color().alpha() == 0)
            return;
        QRectF area = m_transform.mapRect(rect);
        if (m_clip)
            area = area.intersected(m_clip->boundingRect());
        if (!area.isEmpty())
            m_fills.push_back({area, m_brush.color()});
    }

    void drawRects(const QRectF *rects, int count) override
    {
        for (int i = 0; i < count; ++i)
            fill(rects[i]);
    }
    void drawRects(const QRect *rects, int count) override
    {
        for (int i = 0; i < count; ++i)
            fill(rects[i]);
    }
    void drawPath(const QPainterPath &path) override { fill(path.boundingRect()); }
    void drawPolygon(const QPointF *points, int count, PolygonDrawMode mode) override
    {
        if (mode != PolylineMode)
            fill(QPolygonF(QList<QPointF>(points, points + count)).boundingRect());
    }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}

    void drawTextItem(const QPointF &at, const QTextItem &item) override
    {
        const QString text = item.text().trimmed();
        if (text.isEmpty() || m_pen.style() == Qt::NoPen)
            return;
        // Along the middle of the glyphs, where the clip lets them show (a line is drawn whole
        // several times, clipped to its highlighted parts and to the rest): each ground found
        // there is one reading of the text.
        const double y = -(item.ascent() - item.descent()) / 2;
        const int steps = 40;
        std::vector<QColor> grounds;
        for (int i = 0; i < steps; ++i) {
            const QPointF point =
                m_transform.map(at + QPointF(item.width() * (i + 0.5) / steps, y));
            if (m_clip && !m_clip->contains(point))
                continue;
            QColor ground = m_background;
            for (const auto &[area, color] : m_fills) {
                if (area.contains(point))
                    ground = TextContrast::composited(color, ground);
            }
            if (std::find(grounds.begin(), grounds.end(), ground) == grounds.end())
                grounds.push_back(ground);
        }
        for (const QColor &ground : grounds)
            m_texts.push_back({text, TextContrast::composited(m_pen.color(), ground), ground});
    }

    QSize m_size;
    QColor m_background;
    QTransform m_transform;
    QPen m_pen;
    QBrush m_brush;
    std::optional<QPainterPath> m_clip;
    std::vector<std::pair<QRectF, QColor>> m_fills;
    std::vector<Text> m_texts;
};
