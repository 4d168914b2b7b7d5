#include "vexo/emainwindow.h"

EMainWindow::EMainWindow(QWidget* parent)
    : QMainWindow(parent)
{}

EMainWindow::~EMainWindow() = default;

bool EMainWindow::eventFilter(QObject* object, QEvent* event)
{
    return QMainWindow::eventFilter(object, event);
}

void EMainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
}
