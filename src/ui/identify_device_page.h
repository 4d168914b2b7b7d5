#pragma once

#include <QWidget>

#include "ui_identify_device_page.h"

class QTreeWidgetItem;

// Asks for the device coming back: its sticker through a scanner, or, for a
// device without a readable sticker, a search by serial number.
class StationIdentifyDevicePage : public QWidget, public Ui::StationIdentifyDevicePage
{
    Q_OBJECT
public:
    explicit StationIdentifyDevicePage(QWidget* parent = nullptr);

    // Whether the search lists every device or only those a user holds.
    void setShowAll(bool all) { showAll = all; }
    // Back to the first page with no search left over from the previous
    // user; the window calls it whenever a run begins.
    void reset();

private Q_SLOTS:
    void on_buttonCancel_clicked();
    void on_buttonDeviceInput_clicked();
    void on_buttonBack_clicked();
    void on_lineSearch_textChanged(QString text);
    void on_treeDevices_itemClicked(QTreeWidgetItem* item, int column);

private:
    bool showAll = false;
};
