#pragma once

#include <QColor>
#include <QFrame>
#include <QStringList>

#include "fingerkit/fingerkit_global.h"
#include "fingerkit/touch_button.h"

class QBoxLayout;

// A row or column of mutually exclusive checkable touch buttons made from a
// list of texts: a touch radio group. A button's index is its place in the
// row. The "ID" slots act only when their first argument equals setID; an
// index outside the row is ignored by every slot.
class FINGERKIT_EXPORT TouchButtFrame : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QColor colorYes READ colorYes WRITE setColorYes)
    Q_PROPERTY(QColor colorNo READ colorNo WRITE setColorNo)
    Q_PROPERTY(QColor colorGray READ colorGray WRITE setColorGray)
    Q_PROPERTY(QColor colorDown READ colorDown WRITE setColorDown)
    Q_PROPERTY(QStringList buttons READ buttons WRITE setButtons)
    Q_PROPERTY(int currentButton READ currentButton WRITE setCurrentButton)
    Q_PROPERTY(Qt::Orientation orientation READ orientation WRITE setOrientation)
    Q_PROPERTY(int clickID READ clickID WRITE setClickID)
    Q_PROPERTY(int setID READ setID WRITE setSetID)

public:
    explicit TouchButtFrame(QWidget* parent = nullptr, Qt::Orientation orientation = Qt::Horizontal);
    ~TouchButtFrame() override;

    // Appends a checkable, auto-exclusive button whose ID is its index.
    void addButton(const QString& text);
    // Null outside the row.
    TouchButton* button(int index) const;
    // Copies the frame's four colours into every button.
    void resetColors();
    void deleteButtons();
    // The first checked button, -1 when none is.
    int currentButton() const;
    void setCurrentButton(int index);
    // Replaces the buttons; the two characters "\n" in a text break its line.
    // The checked index is kept when it still exists, else the first button
    // is checked.
    void setButtons(const QStringList& texts);
    QStringList buttons() const;

    QColor colorYes() const { return colorYesValue; }
    QColor colorNo() const { return colorNoValue; }
    QColor colorGray() const { return colorGrayValue; }
    QColor colorDown() const { return colorDownValue; }
    void setColorYes(const QColor& color);
    void setColorNo(const QColor& color);
    void setColorGray(const QColor& color);
    void setColorDown(const QColor& color);
    Qt::Orientation orientation() const;
    void setOrientation(Qt::Orientation orientation);
    int clickID() const { return clickIDValue; }
    int setID() const { return setIDValue; }

signals:
    void clicked(int index);
    void toggled(int index, bool checked);
    void clickedID(int id, int index);
    void toggledID(int id, int index, bool checked);

public slots:
    void butt_click(int index);
    void butt_toggle(int index, bool checked);
    void enable();
    void disable();
    void setClickID(int id);
    void setSetID(int id);
    void setButtonChecked(int index);
    void setButtonUnchecked(int index);
    void setButtonState(int index, TouchButton::State state);
    void setButtonYes(int index);
    void setButtonNo(int index);
    void setButtonGray(int index);
    void setAllButtonsState(TouchButton::State state);
    void setAllButtonsYes();
    void setAllButtonsNo();
    void setAllButtonsGray();
    void hideButton(int index);
    void showButton(int index);
    void enableButton(int index);
    void disableButton(int index);
    void enableID(int set_id);
    void disableID(int set_id);
    void setButtonCheckedID(int set_id, int index);
    void setButtonUncheckedID(int set_id, int index);
    void setButtonStateID(int set_id, int index, TouchButton::State state);
    void setButtonYesID(int set_id, int index);
    void setButtonNoID(int set_id, int index);
    void setButtonGrayID(int set_id, int index);
    void setAllButtonsStateID(int set_id, TouchButton::State state);
    void setAllButtonsYesID(int set_id);
    void setAllButtonsNoID(int set_id);
    void setAllButtonsGrayID(int set_id);
    void hideButtonID(int set_id, int index);
    void showButtonID(int set_id, int index);
    void enableButtonID(int set_id, int index);
    void disableButtonID(int set_id, int index);

private:
    int count() const;

    QBoxLayout* buttonLayout;
    QColor colorYesValue;
    QColor colorNoValue;
    QColor colorGrayValue;
    QColor colorDownValue;
    int clickIDValue = -1;
    int setIDValue = -1;
};
