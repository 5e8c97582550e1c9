#pragma once

#include <QRect>

#include "platform/tcolor.h"

class QPainter;

// Classic 3-D drawing shared by the self-painted buttons.

// A one-pixel frame just inside r.
void DrawFrame(QPainter& p, const QRect& r, TColor c);
// Windows' raised edge (two rings): outer light / dark shadow, inner highlight / shadow. The
// bottom and right lines own the corners they share with the top and left ones.
void DrawRaisedEdge(QPainter& p, const QRect& r);
// The pressed counterpart: outer shadow / highlight, inner dark shadow / light.
void DrawSunkenEdge(QPainter& p, const QRect& r);
// The raised look of a push button face: outer highlight / dark shadow, inner light / shadow.
void DrawButtonEdge(QPainter& p, const QRect& r);
// The system focus rectangle: every other outline pixel inverted, in a checkerboard aligned to
// the device origin, each pixel once (inverting twice would undo it).
void DrawFocusRect(QPainter& p, const QRect& r);
