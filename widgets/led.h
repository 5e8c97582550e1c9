#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "platform/tcolor.h"

class QLabel;

enum class TLedKind { lkRed, lkGreen, lkYellow, lkCyan, lkMagenta, lkBlue, lkWhite };
enum class TLedShape { lsCircle, lsRectangle };

// A 16 x 16 indicator lamp painted pixel by pixel from a built-in index image and the palette of
// its kind. Index 0 pixels are left alone, so the parent's background shows through them.
class TLed : public QWidget {
    Q_OBJECT
public:
    explicit TLed(QWidget* parent = nullptr);

    TLedKind Kind() const { return kind_; }
    void SetKind(TLedKind kind);
    TLedShape Shape() const { return shape_; }
    void SetShape(TLedShape shape);
    bool Value() const { return value_; }
    void SetValue(bool value);

    // The label is not owned. It is held weakly: a label destroyed while linked simply unlinks.
    QLabel* LabelLinked() const;
    void SetLabelLinked(QLabel* label);
    const QString& LabelOnText() const { return labelOnText_; }
    void SetLabelOnText(const QString& text);
    const QString& LabelOffText() const { return labelOffText_; }
    void SetLabelOffText(const QString& text);

    std::intptr_t Tag() const { return tag_; }
    void SetTag(std::intptr_t tag) { tag_ = tag; }

    // Raised after Value changed (after the linked label's caption was updated).
    std::function<void(TLed*)> OnChange;
    // A left-button press and release on the LED.
    std::function<void(TLed*)> OnClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void RepaintNow();
    void UpdateLabel();

    TLedKind kind_ = TLedKind::lkRed;
    TLedShape shape_ = TLedShape::lsCircle;
    bool value_ = false;
    QPointer<QLabel> label_;
    QString labelOnText_;
    QString labelOffText_;
    std::intptr_t tag_ = 0;
    bool leftPressed_ = false;
};
