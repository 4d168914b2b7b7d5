// Pictures of the touch widgets in their states, for a person to look at:
// written to the build tree's gallery folder.

#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "fingerkit/touch_butt_frame.h"
#include "fingerkit/touch_button.h"
#include "fingerkit/touch_slider.h"
#include "support/test_support.h"

namespace {
TouchButton* stateButton(const QString& text, TouchButton::State state)
{
    auto* button = new TouchButton;
    button->setAnimated(false);
    button->setText(text);
    button->setMinimumSize(140, 64);
    button->setState(state);
    return button;
}
} // namespace

struct SheetCase
{
    const char* name;
    QString windowSheet;
    QString pageSheet;
};
class FingerkitGallery : public ::testing::TestWithParam<SheetCase>
{
};

TEST_P(FingerkitGallery, WritesAPicture)
{
    QWidget window;
    window.setStyleSheet(GetParam().windowSheet);
    auto* page = new QWidget(&window);
    page->setStyleSheet(GetParam().pageSheet);
    auto* pageLayout = new QVBoxLayout(&window);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->addWidget(page);
    auto* layout = new QVBoxLayout(page);

    auto* buttons = new QGridLayout;
    buttons->addWidget(stateButton(QStringLiteral("Gray"), TouchButton::Gray), 0, 0);
    buttons->addWidget(stateButton(QStringLiteral("Yes"), TouchButton::Yes), 0, 1);
    buttons->addWidget(stateButton(QStringLiteral("No"), TouchButton::No), 0, 2);
    TouchButton* pressed = stateButton(QStringLiteral("Pressed"), TouchButton::Gray);
    buttons->addWidget(pressed, 1, 0);
    TouchButton* disabled = stateButton(QStringLiteral("Disabled"), TouchButton::Yes);
    disabled->disable();
    buttons->addWidget(disabled, 1, 1);
    TouchButton* checked = stateButton(QStringLiteral("Checked"), TouchButton::Yes);
    checked->setCheckable(true);
    checked->setChecked(true);
    buttons->addWidget(checked, 1, 2);
    layout->addLayout(buttons);

    auto* row = new TouchButtFrame;
    row->setMinimumHeight(64);
    row->setButtons({"Cells", "List", "Map"});
    row->setCurrentButton(1);
    row->setButtonYes(1);
    row->setButtonNo(2);
    layout->addWidget(row);
    auto* columns = new QHBoxLayout;
    auto* column = new TouchButtFrame(nullptr, Qt::Vertical);
    column->setButtons({"First", "Second\\nline", "Third"});
    column->setMinimumSize(140, 200);
    columns->addWidget(column);

    auto* sliders = new QVBoxLayout;
    auto* level = new TouchSlider;
    level->setPrefix(QStringLiteral("Level"));
    level->setSuffix(QStringLiteral("%"));
    level->setValue(-30);
    sliders->addWidget(level);
    auto* half = new TouchSlider;
    half->setPrecision(0.5);
    half->setMinimum(0);
    half->setMaximum(10);
    half->setValue(7.5);
    sliders->addWidget(half);
    auto* fixed = new TouchSlider;
    fixed->setReadOnly(true);
    fixed->setValue(20);
    sliders->addWidget(fixed);
    columns->addLayout(sliders, 1);
    layout->addLayout(columns);

    window.resize(600, 640);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mousePress(pressed, Qt::LeftButton);
    // The frame's buttons fade into their colours.
    ASSERT_EVENTUALLY(row->button(2)->currentColor() == row->button(2)->noColor(), 5000);

    const QString dir = QStringLiteral(STATION_GALLERY_DIR);
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString path =
        dir + QStringLiteral("/fingerkit-") + QLatin1String(GetParam().name) + QStringLiteral(".png");
    EXPECT_TRUE(window.grab().save(path)) << path.toStdString();
    QTest::mouseRelease(pressed, Qt::LeftButton);
}

// The administration page sits in a window with the station's styled sheet
// and has a plain one of its own.
INSTANTIATE_TEST_SUITE_P(
    Sheets,
    FingerkitGallery,
    ::testing::Values(
        SheetCase{"plain", QString(), QString()},
        SheetCase{"station",
                  QStringLiteral("*{color: white;background-color: rgb(0, 151, 199);}"
                                 "QLineEdit{color: normal;background-color: normal;}"
                                 "QPushButton:enabled{color: white;background-color: rgb(0, 151, 199);}"
                                 "QPushButton:!enabled{color: white;background-color: gray;}"),
                  QStringLiteral("background-color: normal; color: normal;")}),
    [](const auto& info) { return std::string(info.param.name); });
