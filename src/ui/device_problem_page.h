#pragma once

#include <QWidget>

// The page where a user reports a problem with the device in hand. Its
// content comes later; the window already holds it at its place so that the
// page numbers match the screens.
class StationDeviceProblemPage : public QWidget
{
    Q_OBJECT
public:
    explicit StationDeviceProblemPage(QWidget* parent = nullptr)
        : QWidget(parent)
    {}
};
