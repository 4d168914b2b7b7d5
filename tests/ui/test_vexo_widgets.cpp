#include <memory>

#include <QFile>
#include <QMainWindow>
#include <QSettings>

#include "support/test_support.h"
#include "ui_widgets_form.h"
#include "vexo/circle_indicator.h"
#include "vexo/iconed_label.h"
#include "vexo/image_view.h"
#include "vexo/session_manager.h"
#include "vexo/state_icon.h"
#include "vexo/widget_metrics.h"

namespace {
const QString sessionFile = QStringLiteral("session_vesk_station.conf");
}

TEST(SessionManager, RestoresWhatItSaved)
{
    {
        QMainWindow window;
        window.setObjectName(QStringLiteral("StationMainWindow"));
        window.setGeometry(40, 60, 520, 700);
        SessionManager session;
        session.setFile(sessionFile);
        session.addEntry(window.objectName(), &window);
        ASSERT_TRUE(session.save());
    }
    ASSERT_TRUE(QFile::exists(sessionFile));

    QMainWindow again;
    again.setObjectName(QStringLiteral("StationMainWindow"));
    again.setGeometry(0, 0, 100, 100);
    QMainWindow other;
    other.setGeometry(5, 5, 200, 200);
    SessionManager session;
    session.setFile(sessionFile);
    session.addEntry(&again);
    session.addEntry(QStringLiteral("NeverSaved"), &other);
    EXPECT_TRUE(session.load(false));
    EXPECT_EQ(again.size(), QSize(520, 700));
    EXPECT_EQ(other.geometry(), QRect(5, 5, 200, 200));
    EXPECT_TRUE(again.isHidden());
}

TEST(SessionManager, ForgetsItsFileAndGoneWindows)
{
    SessionManager session;
    session.setFile(sessionFile);
    EXPECT_FALSE(session.load(false));
    {
        auto window = std::make_unique<QMainWindow>();
        session.addEntry(QStringLiteral("Gone"), window.get());
    }
    ASSERT_TRUE(session.save());
    EXPECT_FALSE(QSettings(sessionFile, QSettings::IniFormat).childGroups().contains(QStringLiteral("Gone")));

    QMainWindow window;
    session.addEntry(QStringLiteral("Late"), &window);
    session.clear(true);
    EXPECT_EQ(session.entryCount(), 0);
    // After clear(true) a save, such as one from a closing window, writes nothing.
    EXPECT_FALSE(session.save());
    EXPECT_FALSE(QSettings(sessionFile, QSettings::IniFormat).childGroups().contains(QStringLiteral("Late")));
}

TEST(StateIcon, TakesItsTableFromTheFormsProperty)
{
    const QVector<StateIcon::Entry> table = {
        {0, QStringLiteral("Closed"), QStringLiteral(":/icons/led_off.png")},
        {1, QStringLiteral("Opened"), QStringLiteral(":/icons/led_on.png")}};
    StateIcon icon;
    icon.setProperty("rawStates", StateIcon::encodeStates(table));
    ASSERT_EQ(icon.states().size(), 2);
    icon.setState(1);
    EXPECT_EQ(icon.text(), QStringLiteral("Opened"));
    EXPECT_EQ(icon.iconPath(), QStringLiteral(":/icons/led_on.png"));
    icon.setState(0);
    EXPECT_EQ(icon.text(), QStringLiteral("Closed"));
    // A level the table does not know shows its number.
    icon.setState(7);
    EXPECT_EQ(icon.text(), QStringLiteral("7"));
    EXPECT_EQ(icon.iconPath(), QString());
    // A broken text gives an empty table, not garbage.
    EXPECT_TRUE(StateIcon::decodeStates(QStringLiteral("////")).isEmpty());
    EXPECT_TRUE(StateIcon::decodeStates(StateIcon::encodeStates(table).left(20)).isEmpty());
}

TEST(CircleIndicator, FillsWithinItsBounds)
{
    CircleIndicator circle;
    circle.setMaximum(90);
    const std::pair<double, double> cases[] = {{0, 0.0}, {45, 0.5}, {90, 1.0}, {120, 1.0}, {-5, 0.0}};
    for (const auto& [value, fraction] : cases) {
        circle.setValue(value);
        EXPECT_DOUBLE_EQ(circle.fraction(), fraction) << value;
    }
    circle.setMaximum(0);
    circle.setValue(0);
    EXPECT_DOUBLE_EQ(circle.fraction(), 0.0);
}

TEST(ImageView, KeepsARotationWhenItRefits)
{
    QPixmap picture(100, 50);
    picture.fill(Qt::red);
    ImageView view;
    view.setFrameShape(QFrame::NoFrame);
    view.resize(200, 200);
    view.setPixmap(picture);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_NEAR(view.transform().m11(), 2.0, 1e-9);
    view.rotate(90);
    view.resize(400, 400);
    ASSERT_EVENTUALLY(std::abs(view.transform().m12() - 4.0) < 1e-6, 1000);
    EXPECT_NEAR(view.transform().m11(), 0.0, 1e-6);
}

// The icon follows the font up to the room the label is given: a big font on
// a small screen shrinks the picture instead of running past the label.
TEST(IconedLabel, DrawsItsIconWithinItsRoom)
{
    IconedLabel label;
    QFont font = label.font();
    font.setPixelSize(30);
    label.setFont(font);
    label.setIcon(QIcon(QStringLiteral(":/icons/dialog-close.png")));
    label.setIconSizeAutoScale(12.0);
    const QSize preferred = label.iconSize();
    ASSERT_GT(preferred.width(), 300);
    EXPECT_EQ(label.sizeHint(), preferred);
    EXPECT_LT(label.minimumSizeHint().width(), preferred.width() / 4);

    label.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&label));
    for (const QSize room : {QSize(60, 90), QSize(90, 40), QSize(600, 600)}) {
        label.resize(room);
        const int side = qMin(preferred.width(), qMin(room.width(), room.height()));
        const QSize drawn = label.pixmap(Qt::ReturnByValue).size();
        EXPECT_EQ(drawn, label.icon().actualSize(QSize(side, side)))
            << drawn.width() << "x" << drawn.height() << " in " << room.width() << "x" << room.height();
    }
}

// Labels given the same image by path share one icon and, at one size, one
// pixmap: the image is read and scaled once, however many labels show it.
TEST(IconedLabel, SharesTheIconOfAPath)
{
    const QString path = QStringLiteral(":/icons/devices-pda.png");
    IconedLabel first;
    IconedLabel second;
    first.setIconPath(path);
    second.setIconPath(path);
    EXPECT_EQ(first.iconPath(), path);
    EXPECT_FALSE(first.icon().isNull());
    EXPECT_EQ(first.icon().cacheKey(), second.icon().cacheKey());
    const QPixmap shown = first.pixmap(Qt::ReturnByValue);
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.cacheKey(), second.pixmap(Qt::ReturnByValue).cacheKey());
    // An icon of its own is not the shared one, and the path is gone.
    second.setIcon(QIcon(path));
    EXPECT_NE(first.icon().cacheKey(), second.icon().cacheKey());
    EXPECT_TRUE(second.iconPath().isEmpty());
}

TEST(WidgetMetrics, FollowTheFont)
{
    QWidget small;
    QFont font = small.font();
    font.setPixelSize(10);
    small.setFont(font);
    QWidget big;
    font.setPixelSize(40);
    big.setFont(font);
    EXPECT_LT(preferredIconSize(2.0, &small).width(), preferredIconSize(2.0, &big).width());
    EXPECT_EQ(preferredIconSize(2.0, &big).width(), 2 * preferredIconSize(1.0, &big).width());
    EXPECT_GE(lineThickness(&small), 1);
    EXPECT_LT(lineThickness(&small), lineThickness(&big));
}

// The widgets as a Designer form sets them up: the properties the pages' forms
// give compile into the setters and arrive.
TEST(VexoWidgets, TakeTheirPropertiesFromAForm)
{
    QWidget form;
    Ui::WidgetsForm ui;
    ui.setupUi(&form);
    EXPECT_FALSE(ui.imageView->pixmap().isNull());
    EXPECT_TRUE(ui.imageView->smoothBigImages());
    EXPECT_FALSE(ui.iconedLabel->icon().isNull());
    EXPECT_DOUBLE_EQ(ui.iconedLabel->iconSizeAutoScale(), 2.5);
    EXPECT_EQ(ui.iconedLabel->iconSize(), preferredIconSize(2.5, ui.iconedLabel));
    EXPECT_EQ(ui.iconedLabelByPath->iconPath(), QStringLiteral(":/icons/dialog-close.png"));
    EXPECT_FALSE(ui.iconedLabelByPath->icon().isNull());
    EXPECT_EQ(ui.circleIndicator->fillColor(), QColor(220, 220, 220));
    EXPECT_EQ(ui.circleIndicator->backColor(), QColor(0, 187, 255));
    EXPECT_EQ(ui.circleIndicator->barSize(), 15);
    EXPECT_DOUBLE_EQ(ui.circleIndicator->angleStartOffset(), 180.0);
    ui.stateBarcode->setState(1);
    EXPECT_EQ(ui.stateBarcode->text(), QStringLiteral("Opened"));
    EXPECT_EQ(ui.stateBarcode->iconPath(), QStringLiteral(":/icons/led_on.png"));
}
