#include "fingerkit/touch_butt_frame.h"

#include <QBoxLayout>

namespace {
const QString lineBreak = QStringLiteral("\n");
const QString writtenLineBreak = QStringLiteral("\\n");
} // namespace

TouchButtFrame::TouchButtFrame(QWidget* parent, Qt::Orientation orientation)
    : QFrame(parent)
    , buttonLayout(
          new QBoxLayout(orientation == Qt::Vertical ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight))
{
    const TouchButton defaults;
    colorYesValue = defaults.yesColor();
    colorNoValue = defaults.noColor();
    colorGrayValue = defaults.grayColor();
    colorDownValue = defaults.downColor();
    setFrameShape(QFrame::StyledPanel);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
}

TouchButtFrame::~TouchButtFrame()
{
    // Until the first button the layout is not the frame's, so nothing else
    // deletes it.
    if (layout() != buttonLayout)
        delete buttonLayout;
}

void TouchButtFrame::addButton(const QString& text)
{
    auto* added = new TouchButton(count(), text);
    added->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    added->setCheckable(true);
    added->setAutoExclusive(true);
    if (layout() != buttonLayout)
        setLayout(buttonLayout);
    buttonLayout->addWidget(added);
    connect(added, &TouchButton::clickedID, this, &TouchButtFrame::butt_click);
    connect(added, &TouchButton::toggledID, this, &TouchButtFrame::butt_toggle);
}

int TouchButtFrame::count() const
{
    return buttonLayout->count();
}

TouchButton* TouchButtFrame::button(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return qobject_cast<TouchButton*>(buttonLayout->itemAt(index)->widget());
}

void TouchButtFrame::resetColors()
{
    for (int i = 0; i < count(); ++i) {
        TouchButton* b = button(i);
        b->setYesColor(colorYesValue);
        b->setNoColor(colorNoValue);
        b->setGrayColor(colorGrayValue);
        b->setDownColor(colorDownValue);
    }
}

void TouchButtFrame::deleteButtons()
{
    while (QLayoutItem* item = buttonLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

int TouchButtFrame::currentButton() const
{
    for (int i = 0; i < count(); ++i)
        if (button(i)->isChecked())
            return i;
    return -1;
}

void TouchButtFrame::setCurrentButton(int index)
{
    TouchButton* next = button(index);
    if (!next)
        return;
    const int current = currentButton();
    if (current != index)
        setButtonUnchecked(current);
    next->setChecked(true);
}

void TouchButtFrame::setButtons(const QStringList& texts)
{
    const int remembered = currentButton();
    deleteButtons();
    for (QString text : texts)
        addButton(text.replace(writtenLineBreak, lineBreak));
    if (TouchButton* checked = button(remembered))
        checked->setChecked(true);
    else if (!texts.isEmpty())
        button(0)->setChecked(true);
    resetColors();
}

QStringList TouchButtFrame::buttons() const
{
    QStringList texts;
    for (int i = 0; i < count(); ++i)
        texts << button(i)->text().replace(lineBreak, writtenLineBreak);
    return texts;
}

void TouchButtFrame::setColorYes(const QColor& color)
{
    colorYesValue = color;
    resetColors();
}

void TouchButtFrame::setColorNo(const QColor& color)
{
    colorNoValue = color;
    resetColors();
}

void TouchButtFrame::setColorGray(const QColor& color)
{
    colorGrayValue = color;
    resetColors();
}

void TouchButtFrame::setColorDown(const QColor& color)
{
    colorDownValue = color;
    resetColors();
}

Qt::Orientation TouchButtFrame::orientation() const
{
    return buttonLayout->direction() == QBoxLayout::TopToBottom ? Qt::Vertical : Qt::Horizontal;
}

void TouchButtFrame::setOrientation(Qt::Orientation orientation)
{
    buttonLayout->setDirection(orientation == Qt::Horizontal ? QBoxLayout::LeftToRight
                                                             : QBoxLayout::TopToBottom);
}

void TouchButtFrame::butt_click(int index)
{
    emit clicked(index);
    emit clickedID(clickIDValue, index);
}

void TouchButtFrame::butt_toggle(int index, bool checked)
{
    emit toggled(index, checked);
    emit toggledID(clickIDValue, index, checked);
}

void TouchButtFrame::enable()
{
    setEnabled(true);
}

void TouchButtFrame::disable()
{
    setAllButtonsGray();
    setEnabled(false);
}

void TouchButtFrame::setClickID(int id)
{
    clickIDValue = id;
}

void TouchButtFrame::setSetID(int id)
{
    setIDValue = id;
}

void TouchButtFrame::setButtonChecked(int index)
{
    if (TouchButton* b = button(index))
        b->setChecked(true);
}

void TouchButtFrame::setButtonUnchecked(int index)
{
    TouchButton* b = button(index);
    if (!b)
        return;
    // The toolkit refuses to uncheck the checked button of an exclusive
    // group; for the moment of unchecking it stands alone.
    const bool exclusive = b->autoExclusive();
    b->setAutoExclusive(false);
    b->setChecked(false);
    b->setAutoExclusive(exclusive);
}

void TouchButtFrame::setButtonState(int index, TouchButton::State state)
{
    if (TouchButton* b = button(index))
        b->setState(state);
}

void TouchButtFrame::setButtonYes(int index)
{
    setButtonState(index, TouchButton::Yes);
}

void TouchButtFrame::setButtonNo(int index)
{
    setButtonState(index, TouchButton::No);
}

void TouchButtFrame::setButtonGray(int index)
{
    setButtonState(index, TouchButton::Gray);
}

void TouchButtFrame::setAllButtonsState(TouchButton::State state)
{
    for (int i = 0; i < count(); ++i)
        button(i)->setState(state);
}

void TouchButtFrame::setAllButtonsYes()
{
    setAllButtonsState(TouchButton::Yes);
}

void TouchButtFrame::setAllButtonsNo()
{
    setAllButtonsState(TouchButton::No);
}

void TouchButtFrame::setAllButtonsGray()
{
    setAllButtonsState(TouchButton::Gray);
}

void TouchButtFrame::hideButton(int index)
{
    if (TouchButton* b = button(index))
        b->hide();
}

void TouchButtFrame::showButton(int index)
{
    if (TouchButton* b = button(index))
        b->show();
}

void TouchButtFrame::enableButton(int index)
{
    if (TouchButton* b = button(index))
        b->enable();
}

void TouchButtFrame::disableButton(int index)
{
    if (TouchButton* b = button(index))
        b->disable();
}

void TouchButtFrame::enableID(int set_id)
{
    if (set_id == setIDValue)
        enable();
}

void TouchButtFrame::disableID(int set_id)
{
    if (set_id == setIDValue)
        disable();
}

void TouchButtFrame::setButtonCheckedID(int set_id, int index)
{
    if (set_id == setIDValue)
        setButtonChecked(index);
}

void TouchButtFrame::setButtonUncheckedID(int set_id, int index)
{
    if (set_id == setIDValue)
        setButtonUnchecked(index);
}

void TouchButtFrame::setButtonStateID(int set_id, int index, TouchButton::State state)
{
    if (set_id == setIDValue)
        setButtonState(index, state);
}

void TouchButtFrame::setButtonYesID(int set_id, int index)
{
    if (set_id == setIDValue)
        setButtonYes(index);
}

void TouchButtFrame::setButtonNoID(int set_id, int index)
{
    if (set_id == setIDValue)
        setButtonNo(index);
}

void TouchButtFrame::setButtonGrayID(int set_id, int index)
{
    if (set_id == setIDValue)
        setButtonGray(index);
}

void TouchButtFrame::setAllButtonsStateID(int set_id, TouchButton::State state)
{
    if (set_id == setIDValue)
        setAllButtonsState(state);
}

void TouchButtFrame::setAllButtonsYesID(int set_id)
{
    if (set_id == setIDValue)
        setAllButtonsYes();
}

void TouchButtFrame::setAllButtonsNoID(int set_id)
{
    if (set_id == setIDValue)
        setAllButtonsNo();
}

void TouchButtFrame::setAllButtonsGrayID(int set_id)
{
    if (set_id == setIDValue)
        setAllButtonsGray();
}

void TouchButtFrame::hideButtonID(int set_id, int index)
{
    if (set_id == setIDValue)
        hideButton(index);
}

void TouchButtFrame::showButtonID(int set_id, int index)
{
    if (set_id == setIDValue)
        showButton(index);
}

void TouchButtFrame::enableButtonID(int set_id, int index)
{
    if (set_id == setIDValue)
        enableButton(index);
}

void TouchButtFrame::disableButtonID(int set_id, int index)
{
    if (set_id == setIDValue)
        disableButton(index);
}
