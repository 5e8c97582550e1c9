#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

#include "platform/tcolor.h"

// One decimal digit drawn as a seven-segment figure with a decimal point. Every segment is always
// drawn: lit ones in ColorOn, the others in ColorOff, each outlined in the background Color.
class TDigit : public QWidget {
    Q_OBJECT
public:
    explicit TDigit(QWidget* parent = nullptr);

    std::int32_t Value() const { return value_; }
    void SetValue(std::int32_t v);
    std::uint8_t ValueBinary() const { return mask_; }
    void SetValueBinary(std::uint8_t m);
    TColor ColorOn() const { return colorOn_; }
    void SetColorOn(TColor c);
    TColor ColorOff() const { return colorOff_; }
    void SetColorOff(TColor c);
    TColor Color() const { return color_; }
    void SetColor(TColor c);
    std::int32_t Thickness() const { return thickness_; }
    void SetThickness(std::int32_t t);
    std::int32_t Separation() const { return separation_; }
    void SetSeparation(std::int32_t s);
    std::intptr_t Tag() const { return tag_; }
    void SetTag(std::intptr_t tag) { tag_ = tag; }

    std::function<void(TDigit*)> OnOverflow;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void RepaintNow();

    std::int32_t value_ = 0;
    std::uint8_t mask_ = 125;
    TColor colorOn_ = clYellow;
    TColor colorOff_ = clBlack;
    TColor color_ = clBlack;
    std::int32_t thickness_ = 2;
    std::int32_t separation_ = 1;
    std::intptr_t tag_ = 0;
};
