#pragma once
// Stand-in for the float spin edit until the widget library provides it.

#include <QDoubleSpinBox>

class TSpinFloatEdit : public QDoubleSpinBox {
public:
    explicit TSpinFloatEdit(QWidget* parent = nullptr) : QDoubleSpinBox(parent) {
        setDecimals(3);
        setRange(0, 100);
        setSingleStep(0.5);
        setAlignment(Qt::AlignRight);
    }
    double Value() const { return value(); }
    void SetValue(double v) { setValue(v); }
};
