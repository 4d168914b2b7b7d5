#pragma once

#include <memory>

#include <QPushButton>
#include <QTest>

#include "ui/admin_page.h"
#include "ui/cell_button.h"
#include "ui/cell_row.h"
#include "ui/cells_widget.h"
#include "ui/station_mainwindow.h"
#include "workflows/workflow_fixture.h"

// The workflows' station (simulated lock controller, users, devices) with
// the kiosk's main window on top, shown offscreen.
class Screens : public WorkflowTest
{
protected:
    void open(const Options& options = Options())
    {
        start(options);
        if (HasFatalFailure())
            return;
        window = std::make_unique<StationMainWindow>();
        // The real window goes to the start page now; the workflows'
        // stand-in for it would go there a second time.
        QObject::disconnect(core, &StationCore::gotoStartRequest, &(WorkflowTest::window), nullptr);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void TearDown() override
    {
        // The hub outlives the test: the next one starts on the start screen.
        if (started && window)
            core->setActiveScreen(Constants::asStart);
        // The window leaves the hub's dialog behind, as it must.
        window.reset();
        if (started) {
            EXPECT_EQ(core->dialog->parent(), nullptr);
        }
        WorkflowTest::TearDown();
    }

    int page() const { return window->stackedMain->currentIndex(); }

    // Clicks through the start page and the card to the page after the user.
    void beginWithCard(QPushButton* button)
    {
        ASSERT_TRUE(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_EQ(page(), Constants::asIdentifyUser);
        core->cardReaded(QStringLiteral("89"));
    }

    // The one cell whose door the station opened.
    int openedCell() const
    {
        const VXVector<int> open = core->cellsLogic.openCells();
        return open.size() == 1 ? open.first() : -1;
    }

    // As the window does after an administrator's login.
    void enterAdministration(const DatabaseStructs::User& admin)
    {
        core->setActiveScreen(Constants::asAdministration);
        window->pageAdministration->enter(admin);
    }

    // The administration page's button and list row of a cell.
    StationCellButton* cellButton(int number) const { return byNumber(cellsWidget()->buttons(), number); }
    StationCellRow* cellRow(int number) const { return byNumber(cellsWidget()->rows(), number); }

    std::unique_ptr<StationMainWindow> window;

private:
    StationCellsWidget* cellsWidget() const { return window->pageAdministration->widgetCells; }

    template <typename Widget> static Widget* byNumber(const QList<Widget*>& widgets, int number)
    {
        for (Widget* w : widgets)
            if (w->number() == number)
                return w;
        return nullptr;
    }
};
