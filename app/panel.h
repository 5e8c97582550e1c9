#pragma once

#include <QFrame>
#include <cstdint>

#include "platform/tcolor.h"

// A panel with a 3-D bevel, a centred caption, and a free Tag. The main window keeps some of its
// settings in panel properties (the dim display colour, the course distance).
class TPanel : public QFrame {
public:
    enum class Bevel { None, Raised, Lowered };

    explicit TPanel(QWidget* parent = nullptr);

    void SetColor(TColor c);
    TColor Color() const { return color_; }
    void SetFontColor(TColor c);
    TColor FontColor() const { return fontColor_; }
    void SetBevelOuter(Bevel b);
    void SetBevelWidth(int w);
    int BevelWidth() const { return bevelWidth_; }
    void SetCaption(const QString& caption);
    const QString& Caption() const { return caption_; }
    std::intptr_t Tag() const { return tag_; }
    void SetTag(std::intptr_t tag) { tag_ = tag; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TColor color_ = clBtnFace;
    TColor fontColor_ = clWindowText;
    Bevel bevel_ = Bevel::Raised;
    int bevelWidth_ = 1;
    QString caption_;
    std::intptr_t tag_ = 0;
};

// Draws a Windows-style 3-D frame of the given width inside r.
class QPainter;
void DrawFrame3D(QPainter& p, QRect r, TColor topLeft, TColor bottomRight, int width);
