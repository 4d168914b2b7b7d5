// Pictures for a person to look at, written to the build tree's gallery
// folder: the dialog's pages over a window styled as the station's, and the
// start page and the administration page with the demo configuration's
// fonts at the screen sizes the station is laid out for, checked to keep
// their texts and pictures whole (and the administration's buttons big
// enough for a finger).

#include <limits>
#include <memory>

#include <QDir>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QToolButton>

#include "core/core.h"
#include "glyphpad/virtual_keyboard.h"
#include "glyphpad/virtual_keyboard_layout.h"
#include "support/dialog_answer.h"
#include "support/keyboard_keys.h"
#include "support/test_support.h"
#include "ui/admin_page.h"
#include "ui/cell_button.h"
#include "ui/cells_view.h"
#include "ui/cells_widget.h"
#include "ui/close_cell_page.h"
#include "ui/dialog.h"
#include "ui/station_mainwindow.h"
#include "vexo/circle_indicator.h"
#include "vexo/iconed_label.h"
#include "vexo/image_view.h"
#include "vexo/state_icon.h"

#include "lock_simulator.h"

namespace {
const QString plainSheet = QStringLiteral(
    "*{color: normal;background-color: normal;}QPushButton:enabled{color: white;background-color: "
    "rgb(0, 151, 199);}QPushButton:!enabled{color: white;background-color: gray;}");

// The station as the demo starts it, from the demo's own configuration file
// (its fonts are the big ones), with the main window at a screen's size.
class DemoStation : public ::testing::Test
{
protected:
    static QString demoConfig()
    {
        return QString::fromUtf8(
            TestSupport::readFile(QStringLiteral(STATION_SOURCE_DIR "/scripts/demo/vesk_station.conf")));
    }

    void show(const QSize& size, const QString& config = demoConfig())
    {
        TestSupport::writeConfig(config);
        core->init();
        started = true;
        ASSERT_EQ(core->css_big, QStringLiteral("*{font:bold 24px;}"));
        window = std::make_unique<StationMainWindow>();
        window->resize(size);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void TearDown() override
    {
        window.reset();
        if (started) {
            core->stop();
            core->destroy();
        }
    }

    void enterAsAdministrator()
    {
        DatabaseStructs::User admin;
        admin.id = 3;
        admin.name = QStringLiteral("Station Administrator");
        core->setActiveScreen(Constants::asAdministration);
        window->pageAdministration->enter(admin);
        QCoreApplication::processEvents();
    }

    static QString picturePath(const QString& name)
    {
        const QString dir = QStringLiteral(STATION_GALLERY_DIR);
        EXPECT_TRUE(QDir().mkpath(dir));
        return dir + QLatin1Char('/') + name + QStringLiteral(".png");
    }

    StationCore* core = StationCore::instance();
    std::unique_ptr<StationMainWindow> window;
    bool started = false;
};

struct PageCase
{
    const char* name;
    std::function<void(StationDialog*)> setUp;
};

class DialogGallery : public DemoStation, public ::testing::WithParamInterface<PageCase>
{
};
} // namespace

TEST_P(DialogGallery, WritesAPicture)
{
    show(QSize(600, 896));
    StationDialog* dialog = core->dialog;
    GetParam().setUp(dialog);
    const QString path = picturePath(QStringLiteral("dialog-") + QLatin1String(GetParam().name));
    bool saved = false;
    DialogAnswer shoot(dialog, [&](StationDialog* d) {
        saved = window->grab().save(path);
        d->cancel();
    });
    dialog->exec();
    EXPECT_TRUE(saved) << path.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Pages,
                         DialogGallery,
                         ::testing::Values(PageCase{"message",
                                                    [](StationDialog* d) {
                                                        d->setTitle(QStringLiteral("Login"));
                                                        d->setString(QStringLiteral("User is not admin!"));
                                                    }},
                                           PageCase{"list",
                                                    [](StationDialog* d) {
                                                        d->setTitle(QStringLiteral("Lock cell"));
                                                        d->setStringList(
                                                            {QStringLiteral("Broken door"),
                                                             QStringLiteral("No charging"),
                                                             QStringLiteral("Reserved for service")});
                                                        d->setAcceptButtonText(QStringLiteral("Lock"));
                                                    }},
                                           PageCase{"text",
                                                    [](StationDialog* d) {
                                                        d->setTitle(QStringLiteral("Describe the problem"));
                                                        d->setTextInput();
                                                        d->textEdit->setPlainText(
                                                            QStringLiteral("The screen is cracked."));
                                                    }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WidgetGallery, WritesAPicture)
{
    QWidget window;
    window.setStyleSheet(plainSheet);
    auto* layout = new QGridLayout(&window);
    auto* circle = new CircleIndicator(&window);
    circle->setFillColor(QColor(220, 220, 220));
    circle->setBackColor(QColor(0, 187, 255));
    circle->setAngleStartOffset(180);
    circle->setAngleGap(0);
    circle->setBarSize(15);
    circle->setMaximum(90);
    circle->setValue(30);
    circle->setText(QStringLiteral("1:00"));
    layout->addWidget(circle, 0, 0);
    auto* spinner = new ImageView(&window);
    spinner->setPixmap(QPixmap(QStringLiteral(":/icons/progress.png")));
    spinner->rotate(15);
    layout->addWidget(spinner, 0, 1);
    auto* label = new IconedLabel(&window);
    label->setIcon(QIcon(QStringLiteral(":/icons/dialog-close.png")));
    label->setIconSizeAutoScale(5.0);
    layout->addWidget(label, 1, 0);
    auto* state = new StateIcon(&window);
    state->setStates({{0, QStringLiteral("No"), QStringLiteral(":/icons/led_off.png")},
                      {1, QStringLiteral("Yes"), QStringLiteral(":/icons/led_on.png")}});
    state->setState(1);
    layout->addWidget(state, 1, 1);
    window.resize(400, 400);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(QDir().mkpath(QStringLiteral(STATION_GALLERY_DIR)));
    EXPECT_TRUE(window.grab().save(QStringLiteral(STATION_GALLERY_DIR "/widgets.png")));
}

namespace {
struct ScreenCase
{
    const char* name;
    QSize size;
};

void PrintTo(const ScreenCase& c, std::ostream* os)
{
    *os << c.name;
}

class StartPageWithDemoFonts : public DemoStation, public ::testing::WithParamInterface<ScreenCase>
{
protected:
    // Shows page of the start buttons' stack as the window lays it out.
    void showButtonsPage(int page)
    {
        window->stackedMainButtons->setCurrentIndex(page);
        QCoreApplication::processEvents();
    }

    // Every text of the start page that shows is whole: as wide and as high
    // as its label's room.
    void expectTextsFit() { expectLabelsFit(window->pageStart, true); }

    // Labels that wrap their words are checked only when wrapped is set.
    void expectLabelsFit(QWidget* root, bool wrapped)
    {
        for (QLabel* label : root->findChildren<QLabel*>()) {
            if (!label->isVisibleTo(window.get()) || label->text().trimmed().isEmpty()
                || (label->wordWrap() && !wrapped))
                continue;
            const QFontMetrics metrics = label->fontMetrics();
            const QRect room = label->contentsRect();
            EXPECT_LE(metrics.horizontalAdvance(label->text()), room.width())
                << label->objectName().toStdString() << " \"" << label->text().toStdString() << "\"";
            EXPECT_LE(metrics.height(), room.height()) << label->objectName().toStdString();
        }
    }

    // A picture stays inside its label, and the label inside the widget that
    // holds it on the page (a start button, or the buttons' stack). It is as
    // large as its font asks, or as the room allows when that is less (and
    // never larger than its image).
    void expectPictureInside(IconedLabel* icon, QWidget* holder)
    {
        const QPixmap picture = icon->pixmap(Qt::ReturnByValue);
        ASSERT_FALSE(picture.isNull()) << icon->objectName().toStdString();
        const QSize drawn = picture.size() / picture.devicePixelRatio();
        const QRect room = icon->contentsRect();
        const int side = qMin(icon->iconSize().width(), qMin(room.width(), room.height()));
        EXPECT_EQ(drawn, icon->icon().actualSize(QSize(side, side))) << icon->objectName().toStdString();
        EXPECT_LE(drawn.height(), room.height()) << icon->objectName().toStdString();
        const QRect placed(icon->mapTo(holder, QPoint(0, 0)), icon->size());
        EXPECT_TRUE(holder->rect().contains(placed))
            << icon->objectName().toStdString() << " at " << placed.x() << "," << placed.y() << " "
            << placed.width() << "x" << placed.height() << " in " << holder->width() << "x"
            << holder->height();
    }

    void shoot(const char* page)
    {
        const QString path = picturePath(QStringLiteral("start-demo-fonts-%1-%2")
                                             .arg(QLatin1String(GetParam().name), QLatin1String(page)));
        EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
    }
};
} // namespace

TEST_P(StartPageWithDemoFonts, KeepsTextsAndPicturesWhole)
{
    show(GetParam().size);
    // The window takes the screen's size: the page fits into it.
    EXPECT_EQ(window->size(), GetParam().size);

    showButtonsPage(0);
    expectTextsFit();
    expectPictureInside(window->imageViewTake, window->buttonReturnDevice);
    expectPictureInside(window->imageViewGive, window->buttonGiveDevice);
    EXPECT_TRUE(window->pageStart->rect().contains(QRect(
        window->buttonGiveDevice->mapTo(window->pageStart, QPoint(0, 0)), window->buttonGiveDevice->size())));
    shoot("buttons");

    showButtonsPage(1);
    expectTextsFit();
    expectPictureInside(window->iconedLabel, window->stackedMainButtons);
    shoot("not-working");
}

INSTANTIATE_TEST_SUITE_P(Screens,
                         StartPageWithDemoFonts,
                         ::testing::Values(ScreenCase{"Form", QSize(600, 896)},
                                           ScreenCase{"FullHdPortrait", QSize(1080, 1920)}),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {
struct KeyboardCase
{
    const char* name;
    QLineEdit* (*field)(StationMainWindow*);
    const char* pageKey; // tapped to reach the page; nullptr: the field's own
    const char* page;
};

void PrintTo(const KeyboardCase& c, std::ostream* os)
{
    *os << c.name;
}

QLineEdit* loginField(StationMainWindow* w)
{
    return w->lineAdminLogin;
}

QLineEdit* passwordField(StationMainWindow* w)
{
    return w->lineAdminPassword;
}

// The screen keyboard's pages over the login page, at both screen sizes:
// the keys' captions and the page's fields and buttons show whole.
class KeyboardOverLogin : public DemoStation,
                          public ::testing::WithParamInterface<std::tuple<ScreenCase, KeyboardCase>>
{
protected:
    const ScreenCase& screen() const { return std::get<0>(GetParam()); }
    const KeyboardCase& keys() const { return std::get<1>(GetParam()); }
};
} // namespace

TEST_P(KeyboardOverLogin, WritesAPicture)
{
    show(screen().size);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->adminRequest();
    keys().field(window.get())->setFocus();
    VirtualKeyboard* keyboard = window->virtualKeyboard;
    ASSERT_TRUE(keyboard->isVisible());
    if (keys().pageKey) {
        QToolButton* key =
            KeyboardKeys::keyOf(KeyboardKeys::shownPage(keyboard), QLatin1String(keys().pageKey));
        ASSERT_TRUE(KeyboardKeys::postTap(key));
    }
    // Its keys grow with the width, and the window gives it their height.
    ASSERT_EVENTUALLY(keyboard->height() == keyboard->sizeHint().height(), 2000);
    const VirtualKeyboardLayoutPage* page = KeyboardKeys::shownPage(keyboard);
    ASSERT_TRUE(page);
    ASSERT_EQ(page->name, QLatin1String(keys().page));
    // Every caption shows whole on its key.
    for (QToolButton* key : page->keys) {
        const QFontMetrics metrics = key->fontMetrics();
        EXPECT_LE(metrics.horizontalAdvance(key->text()), key->contentsRect().width())
            << key->text().toStdString();
        EXPECT_LE(metrics.height(), key->contentsRect().height()) << key->text().toStdString();
    }
    // The login page keeps its fields and buttons whole above the keyboard.
    for (QWidget* w :
         {static_cast<QWidget*>(window->lineAdminLogin), static_cast<QWidget*>(window->lineAdminPassword),
          static_cast<QWidget*>(window->buttonAdminLogin),
          static_cast<QWidget*>(window->buttonAdminLoginCancel)}) {
        EXPECT_TRUE(
            window->widgetMain->rect().contains(QRect(w->mapTo(window->widgetMain, QPoint(0, 0)), w->size())))
            << w->objectName().toStdString();
        EXPECT_GE(w->height(), w->minimumSizeHint().height()) << w->objectName().toStdString();
    }
    const QString path = picturePath(
        QStringLiteral("keyboard-login-%1-%2").arg(QLatin1String(screen().name), QLatin1String(keys().name)));
    EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Screens,
    KeyboardOverLogin,
    ::testing::Combine(::testing::Values(ScreenCase{"Form", QSize(600, 896)},
                                         ScreenCase{"FullHdPortrait", QSize(1080, 1920)}),
                       ::testing::Values(KeyboardCase{"latin", loginField, nullptr, "latin"},
                                         KeyboardCase{"password", passwordField, nullptr, "latin"},
                                         KeyboardCase{"numeric", loginField, "123", "numeric"},
                                         KeyboardCase{"cyrillic", loginField, "ru", "cyrillic"})),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

namespace {
// The administration page of the demo station, its cabinet grown by a row
// and a half, with a cell of each kind: 1 a charged device; 2 a charging
// device in repair; 3 ambiguous; 4 the service cell, locked, with its door
// open; 5, 6 and 9 free since 20 h, 2 h and now; 7 a charged device at
// rest for long; 8 a charging device.
class AdminPageWithDemoFonts : public StartPageWithDemoFonts
{
protected:
    void enterWithCells()
    {
        const QString demo = demoConfig();
        const QString last = QStringLiteral("4 = board = 0, lock = 3, row = 1, col = 2, service = true\n");
        ASSERT_TRUE(demo.contains(last));
        QString more = demo;
        more.replace(last, last
                               + QStringLiteral("5 = board = 0, lock = 4, row = 2, col = 0\n"
                                                "6 = board = 0, lock = 5, row = 2, col = 1\n"
                                                "7 = board = 0, lock = 6, row = 2, col = 2\n"
                                                "8 = board = 0, lock = 7, row = 3, col = 0\n"
                                                "9 = board = 0, lock = 8, row = 3, col = 2\n"));
        show(GetParam().size, more);
        if (HasFatalFailure())
            return;

        CellsLogic& cells = core->cellsLogic;
        ASSERT_EQ(cells.cellsCount(), 9);
        const QDateTime now = QDateTime::currentDateTime();
        DatabaseStructs::User anna;
        anna.id = 1;
        anna.name = QStringLiteral("Anna Berg");
        const auto put = [&](int number, int charge, Constants::DeviceStatus status, int restHours) {
            DatabaseStructs::Device d;
            d.id = number;
            d.name = QStringLiteral("Scanner X%1").arg(number);
            d.serial = QStringLiteral("SN-000%1").arg(number);
            d.phone = QStringLiteral("+49 170 000000%1").arg(number);
            d.lastCharge = charge;
            d.status = status;
            d.chargeTrend = Constants::dtRaise;
            CellsLogic::Cell& cell = cells.cells[number];
            cell.device = d;
            cell.deviceId = d.id;
            cell.user = anna;
            cell.lastOperationUserId = anna.id;
            cell.lastOperationDate = now.addSecs(-3725);
            cell.deviceTouchTime = now.addSecs(-3600 * restHours);
        };
        put(1, 95, Constants::dsWorkable, 1);
        put(2, 35, Constants::dsInRepair, 1);
        cells.cells[3].ambiguous = true;
        cells.cells[3].state = CellsLogic::csReadyActualize;
        put(4, 80, Constants::dsWorkable, 1);
        cells.cells[4].isLocked = true;
        cells.cells[4].description = QStringLiteral("Door is broken");
        cells.cells[4].opened = true;
        cells.cells[5].priorityTime = now.addSecs(-20 * 3600);
        cells.cells[6].priorityTime = now.addSecs(-2 * 3600);
        cells.cells[9].priorityTime = now;
        put(7, 75, Constants::dsWorkable, 30);
        put(8, 50, Constants::dsWorkable, 1);
        enterAsAdministrator();
    }

    // Every text of the page that shows is whole; the values of a cell's
    // details wrap their words.
    void expectTextsFit(QWidget* root)
    {
        expectLabelsFit(root, false);
        for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
            if (!button->isVisibleTo(window.get()) || button->text().isEmpty())
                continue;
            const int textWidth = button->fontMetrics().horizontalAdvance(button->text());
            EXPECT_LE(textWidth, button->width()) << button->objectName().toStdString();
        }
    }

    // A finger needs about 9 mm: at the 96 dots per inch the pictures are
    // drawn with, some 34 pixels each way.
    void expectFingerSized(QWidget* root)
    {
        for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
            if (!button->isVisibleTo(window.get()) || button->objectName().isEmpty()
                || qobject_cast<QTabBar*>(button->parentWidget()))
                continue;
            EXPECT_GE(button->height(), 34) << button->objectName().toStdString();
            EXPECT_GE(button->width(), 34) << button->objectName().toStdString();
        }
    }

    void shootAdmin(const QString& what)
    {
        QCoreApplication::processEvents();
        const QString path =
            picturePath(QStringLiteral("admin-%1-%2").arg(QLatin1String(GetParam().name), what));
        EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
    }
};
} // namespace

TEST_P(AdminPageWithDemoFonts, ShowsTheCellsInEveryViewAndMode)
{
    enterWithCells();
    StationAdminPage* page = window->pageAdministration;
    ASSERT_EQ(page->tabWidget->currentWidget(), page->tabCellsView);
    const struct
    {
        QRadioButton* radio;
        const char* name;
    } modes[] = {{page->radioShowNumbers, "numbers"},
                 {page->radioShowCellPriority, "cell-priority"},
                 {page->radioShowDevicePriority, "device-priority"}};
    for (const auto& mode : modes) {
        QTest::mouseClick(mode.radio, Qt::LeftButton);
        ASSERT_TRUE(mode.radio->isChecked());
        expectTextsFit(page);
        expectFingerSized(page);
        shootAdmin(QStringLiteral("cells-table-%1").arg(QLatin1String(mode.name)));
    }
    QTest::mouseClick(page->buttonListView, Qt::LeftButton);
    ASSERT_EQ(page->widgetCells->stackedWidget->currentWidget(), page->widgetCells->pageList);
    expectTextsFit(page);
    expectFingerSized(page);
    shootAdmin(QStringLiteral("cells-list"));
}

TEST_P(AdminPageWithDemoFonts, ShowsTheDetailsOfACell)
{
    enterWithCells();
    StationAdminPage* page = window->pageAdministration;
    for (int number : {2, 4}) {
        page->tabWidget->setCurrentWidget(page->tabCellsView);
        QCoreApplication::processEvents();
        StationCellButton* button = page->widgetCells->buttons().at(number - 1);
        ASSERT_EQ(button->number(), number);
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_EQ(page->tabWidget->currentWidget(), page->tabCellDetails);
        ASSERT_EQ(page->currentCell.number, number);
        expectTextsFit(page);
        expectFingerSized(page);
        shootAdmin(QStringLiteral("cell-details-%1").arg(number));
    }
}

// The information tab with a login code made on it, once more with the
// screen keyboard up under the login field, and the statistics tab.
TEST_P(AdminPageWithDemoFonts, ShowsTheInformationAndStatistics)
{
    enterWithCells();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    StationAdminPage* page = window->pageAdministration;
    page->tabWidget->setCurrentWidget(page->tabInformation);
    QCoreApplication::processEvents();
    ASSERT_TRUE(page->labelVersionStation->isVisibleTo(window.get()));
    page->lineQRLogin->setText(QStringLiteral("aberg"));
    page->lineQRPassword->setText(QStringLiteral("Winter-2027"));
    QTest::mouseClick(page->buttonQrGenerate, Qt::LeftButton);
    ASSERT_FALSE(page->labelQRContent->text().isEmpty());
    QCoreApplication::processEvents();
    expectTextsFit(page);
    expectFingerSized(page);
    for (QLineEdit* field : {page->lineQRLogin, page->lineQRPassword})
        EXPECT_GE(field->height(), 34) << field->objectName().toStdString();
    // The symbol shows whole and square, each module at least two pixels.
    const QPixmap code = page->imageQR->pixmap();
    ASSERT_FALSE(code.isNull());
    EXPECT_EQ(code.width(), code.height());
    const QRect shown = page->imageQR->mapFromScene(page->imageQR->sceneRect()).boundingRect();
    EXPECT_LE(qAbs(shown.width() - shown.height()), 1) << shown.width() << "x" << shown.height();
    EXPECT_TRUE(page->imageQR->viewport()->rect().adjusted(-1, -1, 1, 1).contains(shown));
    EXPECT_GE(shown.width(), 2 * code.width() / 8);
    shootAdmin(QStringLiteral("info"));

    // With the keyboard up the fields stay in sight above it, tall enough
    // for a finger, and the keys type into them.
    page->lineQRLogin->clear();
    page->lineQRLogin->setFocus();
    VirtualKeyboard* keyboard = window->virtualKeyboard;
    ASSERT_EVENTUALLY(keyboard->isVisible() && keyboard->height() == keyboard->sizeHint().height(), 2000);
    QCoreApplication::processEvents();
    for (QWidget* w : {static_cast<QWidget*>(page->lineQRLogin), static_cast<QWidget*>(page->lineQRPassword),
                       static_cast<QWidget*>(page->buttonQrGenerate)}) {
        EXPECT_TRUE(w->isVisibleTo(window.get())) << w->objectName().toStdString();
        EXPECT_TRUE(
            window->widgetMain->rect().contains(QRect(w->mapTo(window->widgetMain, QPoint(0, 0)), w->size())))
            << w->objectName().toStdString();
        EXPECT_GE(w->height(), 34) << w->objectName().toStdString();
    }
    for (const char* caption : {"a", "b"}) {
        QToolButton* key = KeyboardKeys::keyOf(KeyboardKeys::shownPage(keyboard), QLatin1String(caption));
        ASSERT_TRUE(KeyboardKeys::postTap(key)) << caption;
    }
    // Small letters: logins are.
    EXPECT_EVENTUALLY(page->lineQRLogin->text() == QStringLiteral("ab"), 2000);
    // The window keeps the screen's size.
    EXPECT_EQ(window->size(), GetParam().size);
    shootAdmin(QStringLiteral("info-keyboard"));

    page->tabWidget->setCurrentWidget(page->tabStatistics);
    QCoreApplication::processEvents();
    ASSERT_TRUE(page->labelStatLogicCloseFail->isVisibleTo(window.get()));
    // The keyboard goes with the fields.
    EXPECT_EVENTUALLY(!keyboard->isVisible(), 2000);
    expectTextsFit(page);
    shootAdmin(QStringLiteral("stat"));
}

INSTANTIATE_TEST_SUITE_P(Screens,
                         AdminPageWithDemoFonts,
                         ::testing::Values(ScreenCase{"Form", QSize(600, 896)},
                                           ScreenCase{"FullHdPortrait", QSize(1080, 1920)}),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {
// A bank of cells as a configuration places them, a board to a column and
// a lock to a row: count cells numbered from first on, locksPerBoard to a
// board from board firstBoard on.
struct Bank
{
    int count;
    int first;
    int firstBoard;
    int locksPerBoard;
    int board(int number) const { return firstBoard + (number - first) / locksPerBoard; }
    int lock(int number) const { return (number - first) % locksPerBoard; }
};

// The demo station with a bank in place of its cells and of its screen, on
// a simulated lock controller (protocol v4.0, which reaches boards past 15)
// whose doors a test sets before the start.
class BankStation : public DemoStation
{
protected:
    void showBank(const Bank& bank, const QSize& size)
    {
        const QString path = sim.listenPty();
        ASSERT_FALSE(path.isEmpty());
        QString config = demoConfig();
        const QString link = QStringLiteral("\nprotocol = v1.7\naddress =\n");
        const QString tick = QStringLiteral("\ntick_time = 10 Hz\n");
        ASSERT_TRUE(config.contains(link) && config.contains(tick));
        config.replace(link, QStringLiteral("\nprotocol = v4.0\naddress = %1\n").arg(path));
        config.replace(tick, QStringLiteral("\ntick_time = 100 Hz\n"));
        const int from = config.indexOf(QStringLiteral("\nscreen = ")) + 1;
        const int to = config.indexOf(QStringLiteral("\n\n"), from);
        ASSERT_TRUE(from > 0 && to > from);
        QString cells;
        for (int n = bank.first; n < bank.first + bank.count; ++n)
            cells += QStringLiteral("%1 = board = %2, lock = %3\n").arg(n).arg(bank.board(n)).arg(bank.lock(n));
        config.replace(from, to + 1 - from, cells);
        show(size, config);
        if (HasFatalFailure())
            return;
        ASSERT_EQ(core->cellsLogic.cellsCount(), bank.count);
    }

    // The number as wide and as high as its label's room.
    static bool whole(const QLabel* label)
    {
        const QFontMetrics metrics = label->fontMetrics();
        const QRect room = label->contentsRect();
        return metrics.horizontalAdvance(label->text()) <= room.width() && metrics.height() <= room.height();
    }

    // The numbers of the close-cell page's map that do not show whole.
    QStringList cutOnTheMap() const
    {
        QStringList cut;
        for (const QLabel* label : window->pageCloseCell->widgetCellsView->findChildren<QLabel*>())
            if (!whole(label))
                cut.append(label->text());
        return cut;
    }

    LockSimulator sim{LockSimulator::Protocol::V4_0};
};

// Two hundred cells, ten locks to a board (20 columns), with devices,
// locks and open doors spread over them so that cells show one, two or all
// three icons: a device where the number is not a multiple of 3, a lock on
// multiples of 4, the door open on multiples of 5 (as the lock controller
// reports it: the station takes every door's state from there).
class BigCabinetWithDemoFonts : public BankStation, public ::testing::WithParamInterface<ScreenCase>
{
protected:
    void enterWithBigCabinet()
    {
        for (int n = 5; n <= 200; n += 5)
            sim.setDoor(bank.board(n), bank.lock(n), true);
        showBank(bank, GetParam().size);
        if (HasFatalFailure())
            return;
        CellsLogic& logic = core->cellsLogic;
        for (int n = 1; n <= 200; ++n) {
            CellsLogic::Cell& cell = logic.cells[n];
            if (n % 3 != 0) {
                cell.device.id = n;
                cell.device.serial = QStringLiteral("SN-%1").arg(n);
                cell.device.lastCharge = n % 100;
                cell.deviceId = n;
            }
            cell.isLocked = n % 4 == 0;
        }
        enterAsAdministrator();
    }

    static bool allThreeIcons(const StationCellButton* b)
    {
        return b->iconLocked->isVisibleTo(b) && b->iconDevice->isVisibleTo(b) && b->iconOpened->isVisibleTo(b);
    }

    const Bank bank{200, 1, 0, 10};
};
} // namespace

// Every cell's number shows whole in the grid, however many icons stand
// beside it, and the window keeps the screen's size: the grid scrolls.
TEST_P(BigCabinetWithDemoFonts, ShowsEveryCellNumberWhole)
{
    enterWithBigCabinet();
    StationAdminPage* page = window->pageAdministration;
    const QList<StationCellButton*>& buttons = page->widgetCells->buttons();
    ASSERT_EQ(buttons.size(), 200);
    // Device, lock and open door: 20, 40, 80, 100, 140, 160 and 200, once
    // the controller has reported every board's doors.
    QList<int> threeIcons;
    for (int n = 20; n <= 200; n += 20)
        if (n % 3 != 0)
            threeIcons.append(n);
    const auto withThreeIcons = [&buttons] {
        QList<int> numbers;
        for (const StationCellButton* b : buttons)
            if (allThreeIcons(b))
                numbers.append(b->number());
        return numbers;
    };
    ASSERT_EVENTUALLY(withThreeIcons() == threeIcons, 5000);
    EXPECT_EQ(window->size(), GetParam().size);
    EXPECT_TRUE(window->widgetMain->rect().contains(
        QRect(page->widgetCells->mapTo(window->widgetMain, QPoint(0, 0)), page->widgetCells->size())));
    QStringList cut;
    for (StationCellButton* button : buttons) {
        const QLabel* label = button->labelNumber;
        ASSERT_TRUE(label->isVisibleTo(window.get())) << button->number();
        if (!whole(label) || !button->rect().contains(label->geometry()))
            cut.append(label->text().trimmed());
    }
    EXPECT_TRUE(cut.isEmpty()) << "cut: " << cut.join(QStringLiteral(", ")).toStdString();
    // A number whole beside its three icons: each icon inside the button,
    // none over the number.
    for (StationCellButton* button : buttons) {
        if (!allThreeIcons(button))
            continue;
        for (const IconedLabel* icon : {button->iconLocked, button->iconDevice, button->iconOpened}) {
            EXPECT_TRUE(button->rect().contains(icon->geometry())) << button->number();
            EXPECT_FALSE(icon->geometry().intersects(button->labelNumber->geometry())) << button->number();
        }
    }
    QCoreApplication::processEvents();
    const QString path = picturePath(QStringLiteral("admin-%1-cells-200").arg(QLatin1String(GetParam().name)));
    EXPECT_TRUE(window->grab().save(path)) << path.toStdString();

    // The close-cell page's miniature of the same bank, its numbers whole.
    core->setActiveScreen(Constants::asCloseCell);
    window->pageCloseCell->widgetCellsView->highlight(120);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), GetParam().size);
    ASSERT_EQ(window->pageCloseCell->widgetCellsView->findChildren<QLabel*>().size(), 200);
    cut = cutOnTheMap();
    EXPECT_TRUE(cut.isEmpty()) << "cut: " << cut.join(QStringLiteral(", ")).toStdString();
    const QString mapPath =
        picturePath(QStringLiteral("close-cell-%1-200").arg(QLatin1String(GetParam().name)));
    EXPECT_TRUE(window->grab().save(mapPath)) << mapPath.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Screens,
                         BigCabinetWithDemoFonts,
                         ::testing::Values(ScreenCase{"Form", QSize(600, 896)},
                                           ScreenCase{"FullHdPortrait", QSize(1080, 1920)}),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {
struct BankCase
{
    const char* name;
    Bank bank;
    QSize size;
};

void PrintTo(const BankCase& c, std::ostream* os)
{
    *os << c.name;
}

class BankWithDemoFonts : public BankStation, public ::testing::WithParamInterface<BankCase>
{
};

class GridOfABank : public BankWithDemoFonts
{
};
} // namespace

// The grid is as wide and as high as the columns and rows that hold a
// cell: a bank on its own boards fits the window as well as one that
// begins with board 0.
TEST_P(GridOfABank, FitsTheWindowWithoutScrolling)
{
    showBank(GetParam().bank, GetParam().size);
    if (HasFatalFailure())
        return;
    enterAsAdministrator();
    StationCellsWidget* cells = window->pageAdministration->widgetCells;
    ASSERT_EQ(cells->buttons().size(), GetParam().bank.count);
    ASSERT_EVENTUALLY(cells->buttons().first()->isVisible(), 3000);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), GetParam().size);
    EXPECT_EQ(cells->scrollCells->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(cells->scrollCells->verticalScrollBar()->maximum(), 0);
    const QRect room = cells->scrollCells->viewport()->rect();
    QStringList cut;
    for (StationCellButton* button : cells->buttons()) {
        const QLabel* label = button->labelNumber;
        if (!whole(label) || !button->rect().contains(label->geometry())
            || !room.contains(QRect(button->mapTo(cells->scrollCells->viewport(), QPoint(0, 0)), button->size())))
            cut.append(label->text().trimmed());
    }
    EXPECT_TRUE(cut.isEmpty()) << "cut or out of sight: " << cut.join(QStringLiteral(", ")).toStdString();
    const QString path = picturePath(QStringLiteral("admin-grid-%1").arg(QLatin1String(GetParam().name)));
    EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Banks,
                         GridOfABank,
                         ::testing::Values(BankCase{"FortyOnBoards0To3", {40, 1, 0, 10}, QSize(600, 896)},
                                           BankCase{"FortyOnBoards1To4", {40, 1, 1, 10}, QSize(600, 896)},
                                           BankCase{"ThirtyOnBoards5To7", {30, 1, 5, 10}, QSize(600, 896)}),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {
struct MapCase
{
    const char* name;
    Bank bank;
    QSize size;
    // Whether numbers 7 pixels high fit the boxes once the gaps between
    // them are gone. In the 600 pixel window a box of 20 columns is about a
    // pixel short of "1108" at 7 pixels, and one of 50 rows of the line's
    // height.
    bool readable;
};

void PrintTo(const MapCase& c, std::ostream* os)
{
    *os << c.name;
}

class MapOfABank : public BankStation, public ::testing::WithParamInterface<MapCase>
{
};
} // namespace

// The close-cell page's map of a big bank keeps its numbers whole, and at
// least 7 pixels high where they fit so; where they cannot, the cell to
// use is still marked on the map and named above it.
TEST_P(MapOfABank, KeepsItsNumbersReadableOrTheCellNamed)
{
    const Bank& bank = GetParam().bank;
    showBank(bank, GetParam().size);
    if (HasFatalFailure())
        return;
    const int number = bank.first + bank.count / 2 + 7;
    DatabaseStructs::User anna;
    anna.id = 1;
    anna.name = QStringLiteral("Anna Berg");
    StationCloseCellPage* page = window->pageCloseCell;
    page->setGiveTitle(anna, number);
    core->setActiveScreen(Constants::asCloseCell);
    QCoreApplication::processEvents();
    EXPECT_EQ(window->size(), GetParam().size);
    const QList<QLabel*> boxes = page->widgetCellsView->findChildren<QLabel*>();
    ASSERT_EQ(boxes.size(), bank.count);
    const QStringList cut = cutOnTheMap();
    EXPECT_TRUE(cut.isEmpty()) << "cut: " << cut.join(QStringLiteral(", ")).toStdString();
    int smallest = std::numeric_limits<int>::max();
    for (const QLabel* label : boxes)
        smallest = qMin(smallest, QFontInfo(label->font()).pixelSize());
    if (GetParam().readable) {
        EXPECT_GE(smallest, 7);
    }
    for (const QLabel* label : boxes)
        EXPECT_EQ(label->styleSheet().contains(QStringLiteral("lightGreen")), label->text() == QString::number(number))
            << label->text().toStdString();
    EXPECT_TRUE(page->labelTitle->text().contains(QStringLiteral("cell %1").arg(number)))
        << page->labelTitle->text().toStdString();
    const QString path = picturePath(QStringLiteral("close-cell-map-%1").arg(QLatin1String(GetParam().name)));
    EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Banks,
    MapOfABank,
    ::testing::Values(MapCase{"FourDigitsIn16Columns_Form", {160, 1001, 0, 10}, QSize(600, 896), true},
                      MapCase{"FourDigitsIn20Columns_Form", {200, 1001, 0, 10}, QSize(600, 896), false},
                      MapCase{"FourDigitsIn20Columns_FullHdPortrait", {200, 1001, 0, 10}, QSize(1080, 1920), true},
                      MapCase{"FortyToABoard_Form", {200, 1, 0, 40}, QSize(600, 896), true},
                      MapCase{"FiftyToABoard_Form", {200, 1, 0, 50}, QSize(600, 896), false},
                      MapCase{"FiftyToABoard_FullHdPortrait", {200, 1, 0, 50}, QSize(1080, 1920), true}),
    [](const auto& info) { return std::string(info.param.name); });
