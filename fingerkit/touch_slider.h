#pragma once

#include <memory>

#include <QGroupBox>
#include <QString>

#include "fingerkit/fingerkit_global.h"

class QMouseEvent;
class Ui_TouchSlider;

// Sets a number with two touch bars, the negative half filling from the
// right and the positive half from the left, and the buttons minimum,
// decrement, zero, increment and maximum; the title shows the value. The
// bars count steps of the precision. The "ID" slots act only when their
// first argument equals setID.
class FINGERKIT_EXPORT TouchSlider : public QGroupBox
{
    Q_OBJECT
    Q_PROPERTY(bool readOnly READ readOnly WRITE setReadOnly)
    Q_PROPERTY(bool showMinMax READ showMinMax WRITE setShowMinMax)
    Q_PROPERTY(bool showIncDec READ showIncDec WRITE setShowIncDec)
    Q_PROPERTY(double minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(double maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(double value READ value WRITE setValue)
    Q_PROPERTY(double precision READ precision WRITE setPrecision)
    Q_PROPERTY(QString prefix READ prefix WRITE setPrefix)
    Q_PROPERTY(QString suffix READ suffix WRITE setSuffix)
    Q_PROPERTY(int clickID READ clickID WRITE setClickID)
    Q_PROPERTY(int setID READ setID WRITE setSetID)

public:
    explicit TouchSlider(QWidget* parent = nullptr);
    ~TouchSlider() override;

    double value() const;
    double minimum() const;
    double maximum() const;
    double precision() const { return precisionValue; }
    bool readOnly() const { return readOnlyValue; }
    bool showMinMax() const { return showMinMaxValue; }
    bool showIncDec() const { return showIncDecValue; }
    QString prefix() const { return prefixValue; }
    QString suffix() const { return suffixValue; }
    int clickID() const { return clickIDValue; }
    int setID() const { return setIDValue; }
    // Writes the value into the title and tells about it.
    void updateCaption();

signals:
    void valueChanged(double value);
    void valueChanged(int value);
    void valueChangedID(int id, double value);
    void valueChangedID(int id, int value);

public slots:
    void enable();
    void disable();
    void setClickID(int id);
    void setSetID(int id);
    void setSuffix(const QString& text);
    void setPrefix(const QString& text);
    // A step that is zero, negative or not finite is ignored.
    void setPrecision(double step);
    void setPrecision(int step);
    void setMinimum(double minimum);
    void setMinimum(int minimum);
    // A negative maximum is ignored.
    void setMaximum(double maximum);
    void setMaximum(int maximum);
    // Clamped into the range, rounded to the nearest step.
    void setValue(double value);
    void setValue(int value);
    void setReadOnly(bool on);
    void setShowMinMax(bool on);
    void setShowIncDec(bool on);
    void enableID(int set_id);
    void disableID(int set_id);
    void setValueID(int set_id, double value);
    void setValueID(int set_id, int value);
    void clickMin();
    void clickMax();
    void clickInc();
    void clickDec();
    void clickZero();

    void on_pbMin_clicked();
    void on_pbMax_clicked();
    void on_pbInc_clicked();
    void on_pbDec_clicked();
    void on_pbZero_clicked();
    void on_barNeg_valueChanged(int value);
    void on_barPos_valueChanged(int value);
    void on_barNeg_mousePressEvent(QMouseEvent* event);
    void on_barNeg_mouseMoveEvent(QMouseEvent* event);
    void on_barPos_mousePressEvent(QMouseEvent* event);
    void on_barPos_mouseMoveEvent(QMouseEvent* event);

private:
    // Touches at x in the bar's own coordinates.
    void pressOnNeg(int x);
    void pressOnPos(int x);
    void moveOnNeg(int x);
    void moveOnPos(int x);
    int steps(double amount) const;

    std::unique_ptr<Ui_TouchSlider> ui;
    double precisionValue = 1.0;
    bool negativeEnabled = true;
    bool readOnlyValue = false;
    bool showMinMaxValue = true;
    bool showIncDecValue = true;
    int clickIDValue = -1;
    int setIDValue = -1;
    QString prefixValue;
    QString suffixValue;
};
