#include "widgets/edges.h"

#include <QPainter>

namespace {

void Ring(QPainter& p, const QRect& rc, TColor topLeft, TColor bottomRight) {
    if (rc.width() <= 0 || rc.height() <= 0) return;
    p.fillRect(QRect(rc.left(), rc.top(), rc.width() - 1, 1), ToQColor(topLeft));
    p.fillRect(QRect(rc.left(), rc.top(), 1, rc.height() - 1), ToQColor(topLeft));
    p.fillRect(QRect(rc.left(), rc.bottom(), rc.width(), 1), ToQColor(bottomRight));
    p.fillRect(QRect(rc.right(), rc.top(), 1, rc.height()), ToQColor(bottomRight));
}

}  // namespace

void DrawFrame(QPainter& p, const QRect& r, TColor c) {
    if (r.width() <= 0 || r.height() <= 0) return;
    const QColor q = ToQColor(c);
    p.fillRect(QRect(r.left(), r.top(), r.width(), 1), q);
    p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), q);
    p.fillRect(QRect(r.left(), r.top(), 1, r.height()), q);
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), q);
}

void DrawRaisedEdge(QPainter& p, const QRect& r) {
    Ring(p, r, cl3DLight, cl3DDkShadow);
    Ring(p, r.adjusted(1, 1, -1, -1), clBtnHighlight, clBtnShadow);
}

void DrawSunkenEdge(QPainter& p, const QRect& r) {
    Ring(p, r, clBtnShadow, clBtnHighlight);
    Ring(p, r.adjusted(1, 1, -1, -1), cl3DDkShadow, cl3DLight);
}

void DrawButtonEdge(QPainter& p, const QRect& r) {
    Ring(p, r, clBtnHighlight, cl3DDkShadow);
    Ring(p, r.adjusted(1, 1, -1, -1), cl3DLight, clBtnShadow);
}

void DrawFocusRect(QPainter& p, const QRect& r) {
    if (r.width() <= 0 || r.height() <= 0) return;
    p.save();
    p.setCompositionMode(QPainter::RasterOp_NotDestination);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    auto dot = [&](int x, int y) {
        if ((x + y) % 2 == 0) p.drawRect(x, y, 1, 1);
    };
    for (int x = r.left(); x <= r.right(); ++x) {
        dot(x, r.top());
        if (r.bottom() != r.top()) dot(x, r.bottom());
    }
    for (int y = r.top() + 1; y < r.bottom(); ++y) {
        dot(r.left(), y);
        if (r.right() != r.left()) dot(r.right(), y);
    }
    p.restore();
}
