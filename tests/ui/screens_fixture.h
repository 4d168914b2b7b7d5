#pragma once

#include <memory>

#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QToolButton>

#include "glyphpad/virtual_keyboard.h"
#include "glyphpad/virtual_keyboard_layout.h"
#include "support/keyboard_keys.h"
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

    // The configuration of a station with the screen keyboard switched on.
    static Options withScreenKeyboard(Options options = Options())
    {
        options.extraCells += QStringLiteral("[interface]\nvirtual_keyboard = true\n");
        return options;
    }

    // The window as on the kiosk: the active one, so that the focus moves
    // and the screen keyboard follows it.
    void activate()
    {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    // The name of the keyboard's page shown, empty when none is.
    QString keyboardPage() const
    {
        const VirtualKeyboardLayoutPage* shown = KeyboardKeys::shownPage(window->virtualKeyboard);
        return shown ? shown->name : QString();
    }

    // Taps the keys with these captions, one after the other, each on the
    // page shown at its turn.
    void tapKeys(const QStringList& captions)
    {
        for (const QString& caption : captions) {
            QToolButton* key = KeyboardKeys::keyOf(KeyboardKeys::shownPage(window->virtualKeyboard), caption);
            ASSERT_TRUE(KeyboardKeys::postTap(key)) << "key " << caption.toStdString();
        }
    }

    void tapKeyOfRole(int role)
    {
        QToolButton* key = KeyboardKeys::keyOfRole(KeyboardKeys::shownPage(window->virtualKeyboard), role);
        ASSERT_TRUE(KeyboardKeys::postTap(key)) << "key of role " << role;
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
