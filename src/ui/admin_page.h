#pragma once

#include <QWidget>

// The administration screen. Its content comes with the administration
// work; until then the window holds this empty page at its place.
class StationAdminPage : public QWidget
{
    Q_OBJECT
public:
    explicit StationAdminPage(QWidget* parent = nullptr)
        : QWidget(parent)
    {}
};
