#pragma once

#include <memory>

#include <QPointer>
#include <QString>
#include <QWidget>

#include "glyphpad/glyphpad_export.h"
#include "vexo/indexed_timer.h"

class VirtualKeyboardLayout;

namespace Ui {
class VirtualKeyboard;
}

// The touch keyboard: follows the application's focus, shows itself while a
// text field has it, chooses its page from the field's input-method hints
// and types by posting key events to the field.
class GLYPHPAD_EXPORT VirtualKeyboard : public QWidget, public IndexedTimer<int>
{
    Q_OBJECT
    Q_PROPERTY(QString layoutPath MEMBER layoutPath WRITE setLayoutPath)

public:
    explicit VirtualKeyboard(QWidget* parent = nullptr);
    ~VirtualKeyboard() override;

    void setLayoutPath(const QString& path);
    void init(QString path);
    void destroy();
    void adjust();
    void setKeyboardVisible(bool visible);
    void setAlwaysVisible(bool on);

    bool eventFilter(QObject* object, QEvent* event) override;

public slots:
    // Besides what QWidget's slots do, a keyboard switched off hides.
    void setEnabled(bool on);
    void setDisabled(bool off);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void focusChanged(QWidget* old, QWidget* now);
    void showPage(const QString& name);
    // Without a layout path of its own the keyboard uses the library's.
    void loadDefaultLayoutIfNone();

    std::unique_ptr<Ui::VirtualKeyboard> form;
    // Not named layout: that would hide QWidget::layout().
    VirtualKeyboardLayout* keyboardLayout = nullptr;
    QPointer<QWidget> watchedWidget;
    QString layoutPath;
    bool firstShow = true;
    bool alwaysVisible = false;
    int lastWidth = -1;
};
