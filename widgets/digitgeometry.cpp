#include "widgets/digitgeometry.h"

std::array<QPolygon, 8> DigitSegments(int width, int height, int t, int s) {
    const int W = width - 1;
    const int H = height - 1;
    const int M = H / 2;
    std::array<QPolygon, 8> seg;

    const int hb[3] = {0, M - t, H - 2 * t};
    for (int i = 0; i < 3; ++i) {
        const int b = hb[i];
        seg[i] = QPolygon({QPoint(s + t, b + t), QPoint(s + 2 * t, b), QPoint(W - 2 * t - s, b),
                           QPoint(W - t - s, b + t), QPoint(W - 2 * t - s, b + 2 * t),
                           QPoint(s + 2 * t, b + 2 * t)});
    }
    // upper-left, upper-right, lower-left, lower-right
    const int ve[4] = {0, W - 2 * t, 0, W - 2 * t};
    const int vb[4] = {0, 0, M - t, M - t};
    for (int i = 0; i < 4; ++i) {
        const int e = ve[i];
        const int b = vb[i];
        seg[3 + i] = QPolygon({QPoint(e, b + s + 2 * t), QPoint(e + t, b + s + t),
                               QPoint(e + 2 * t, b + s + 2 * t), QPoint(e + 2 * t, b + M - t - s),
                               QPoint(e + t, b + M - s), QPoint(e, b + M - t - s)});
    }
    seg[7] = QPolygon({QPoint(W, H), QPoint(W + s - 2 * t, H), QPoint(W, H + s - 2 * t)});
    return seg;
}
