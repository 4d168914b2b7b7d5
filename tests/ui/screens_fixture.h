#pragma once

#include <memory>

#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QToolButton>

#include <openssl/evp.h>

#include "glyphpad/virtual_keyboard.h"
#include "glyphpad/virtual_keyboard_layout.h"
#include "support/keyboard_keys.h"
#include "ui/admin_page.h"
#include "ui/cell_button.h"
#include "ui/cell_row.h"
#include "ui/cells_widget.h"
#include "ui/station_mainwindow.h"
#include "workflows/workflow_fixture.h"

// A stored password hash as the back-end makes it: format byte 0, the salt,
// then PBKDF2-HMAC-SHA1 of 1000 iterations, 32 bytes (by OpenSSL).
inline QByteArray passwordHash(const QByteArray& password)
{
    const QByteArray salt = TestSupport::hex("5e 1f 03 9e 55 c2 10 8b 47 d0 2e 91 3c 7a e4 05");
    QByteArray key(32, '\0');
    const int ok = PKCS5_PBKDF2_HMAC(
        password.constData(), password.size(), reinterpret_cast<const unsigned char*>(salt.constData()),
        salt.size(), 1000, EVP_sha1(), key.size(), reinterpret_cast<unsigned char*>(key.data()));
    EXPECT_EQ(ok, 1);
    return QByteArray(1, '\0') + salt + key;
}

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

    // Neither the log nor a record for the back-end holds the text.
    void expectNowhere(const QString& secret)
    {
        ASSERT_TRUE(TestSupport::logWritten());
        for (const QString& line : TestSupport::logLines())
            EXPECT_FALSE(line.contains(secret)) << line.toStdString();
        for (const QueuedChange& change : queuedChanges())
            EXPECT_FALSE(change.body.toJson().contains(secret.toUtf8())) << change.path.toStdString();
    }

    // The administration page's button and list row of a cell.
    StationCellButton* cellButton(int number) const { return byNumber(cellsWidget()->buttons(), number); }
    StationCellRow* cellRow(int number) const { return byNumber(cellsWidget()->rows(), number); }

    // The crimson frame of a cell in repair, drawn over the button's edge.
    static bool framed(StationCellButton* b)
    {
        return b->grab().toImage().pixelColor(1, 1) == QColor(QColorConstants::Svg::crimson);
    }

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
