#include <cmath>
#include <functional>
#include <limits>
#include <map>

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QProgressBar>
#include <QSignalSpy>

#include "fingerkit/touch_button.h"
#include "fingerkit/touch_slider.h"
#include "support/test_support.h"
#include "touch_test.h"

namespace {
const double notANumber = std::numeric_limits<double>::quiet_NaN();
const double infinity = std::numeric_limits<double>::infinity();

QProgressBar* bar(const TouchSlider& slider, const char* name)
{
    auto* found = slider.findChild<QProgressBar*>(QLatin1String(name));
    if (!found)
        ADD_FAILURE() << "no bar " << name;
    return found;
}

TouchButton* button(const TouchSlider& slider, const char* name)
{
    auto* found = slider.findChild<TouchButton*>(QLatin1String(name));
    if (!found)
        ADD_FAILURE() << "no button " << name;
    return found;
}

// A finger touching down, or moving while down, at x in the widget's own
// coordinates (a moving finger stays with the widget it touched first).
void press(QWidget* widget, int x)
{
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, QPoint(x, widget->height() / 2));
}

void move(QWidget* widget, int x)
{
    QMouseEvent event(QEvent::MouseMove, QPointF(x, widget->height() / 2), Qt::NoButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void showWide(TouchSlider& slider)
{
    slider.resize(1200, 80);
    slider.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&slider));
}

int spacing(const TouchSlider& slider)
{
    return slider.findChild<QHBoxLayout*>(QStringLiteral("horizontalLayout"))->spacing();
}
} // namespace

TEST(TouchSlider, NewSliderRunsFromMinusToPlusHundredAtFifty)
{
    TouchSlider slider;
    EXPECT_EQ(slider.minimum(), -100.0);
    EXPECT_EQ(slider.maximum(), 100.0);
    EXPECT_EQ(slider.value(), 50.0);
    EXPECT_EQ(slider.precision(), 1.0);
    EXPECT_TRUE(slider.title().isEmpty());
    EXPECT_EQ(button(slider, "pbMin")->text(), QStringLiteral("-100"));
    EXPECT_EQ(button(slider, "pbMax")->text(), QStringLiteral("100"));
    EXPECT_FALSE(bar(slider, "barNeg")->isHidden());
}

TEST(TouchSlider, NonNegativeMinimumHidesTheNegativeHalf)
{
    TouchSlider slider;
    slider.setMinimum(0);
    EXPECT_TRUE(bar(slider, "barNeg")->isHidden());
    EXPECT_TRUE(button(slider, "pbZero")->isHidden());
    slider.setValue(-5);
    EXPECT_EQ(slider.value(), 0.0);
    EXPECT_EQ(button(slider, "pbMin")->text(), QStringLiteral("0"));

    slider.setMinimum(-10);
    EXPECT_FALSE(bar(slider, "barNeg")->isHidden());
    EXPECT_FALSE(button(slider, "pbZero")->isHidden());
    EXPECT_EQ(slider.minimum(), -10.0);
}

TEST(TouchSlider, HalfStepsCountTwiceAsManyStepsOnTheBars)
{
    TouchSlider slider;
    slider.setPrecision(0.5);
    slider.setMinimum(-10);
    slider.setMaximum(10);
    EXPECT_EQ(bar(slider, "barNeg")->maximum(), 20);
    EXPECT_EQ(bar(slider, "barPos")->maximum(), 20);
    slider.setValue(2.3);
    EXPECT_EQ(bar(slider, "barPos")->value(), 5);
    EXPECT_EQ(slider.value(), 2.5);
    EXPECT_EQ(slider.title(), QStringLiteral(" 2.5 "));
    EXPECT_EQ(button(slider, "pbInc")->text(), QStringLiteral("+0.5"));
    EXPECT_EQ(button(slider, "pbDec")->text(), QStringLiteral("-0.5"));
}

struct ValueCase
{
    const char* name;
    double precision;
    double set;
    double value;
};
class TouchSliderValue : public ::testing::TestWithParam<ValueCase>
{
};

TEST_P(TouchSliderValue, IsClampedAndRoundedToAStep)
{
    const ValueCase& c = GetParam();
    TouchSlider slider;
    slider.setPrecision(c.precision);
    slider.setValue(c.set);
    EXPECT_EQ(slider.value(), c.value);
}

INSTANTIATE_TEST_SUITE_P(Table,
                         TouchSliderValue,
                         ::testing::Values(ValueCase{"Inside", 1, 30, 30},
                                           ValueCase{"Negative", 1, -30, -30},
                                           ValueCase{"Zero", 1, 0, 0},
                                           ValueCase{"AboveMaximum", 1, 150, 100},
                                           ValueCase{"BelowMinimum", 1, -150, -100},
                                           ValueCase{"InfinityIsTheMaximum", 1, infinity, 100},
                                           ValueCase{"HalfRoundsUp", 1, 2.5, 3},
                                           ValueCase{"NegativeHalfRoundsDown", 1, -2.5, -3},
                                           ValueCase{"NearestHalfStep", 0.5, 2.3, 2.5},
                                           ValueCase{"NegativeNearestHalfStep", 0.5, -2.2, -2},
                                           ValueCase{"NotANumberIsIgnored", 1, notANumber, 50}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TouchSlider, AValueChangeWritesTheTitleAndTellsInBothForms)
{
    TouchSlider slider;
    slider.setClickID(4);
    slider.setPrecision(0.5);
    slider.setPrefix(QStringLiteral("Volume"));
    slider.setSuffix(QStringLiteral("%"));
    QSignalSpy asDouble(&slider, qOverload<double>(&TouchSlider::valueChanged));
    QSignalSpy asInt(&slider, qOverload<int>(&TouchSlider::valueChanged));
    QSignalSpy idDouble(&slider, qOverload<int, double>(&TouchSlider::valueChangedID));
    QSignalSpy idInt(&slider, qOverload<int, int>(&TouchSlider::valueChangedID));

    slider.setValue(-2.5);
    EXPECT_EQ(slider.title(), QStringLiteral("Volume -2.5 %"));
    ASSERT_FALSE(asDouble.isEmpty());
    ASSERT_FALSE(asInt.isEmpty());
    ASSERT_FALSE(idDouble.isEmpty());
    ASSERT_FALSE(idInt.isEmpty());
    EXPECT_EQ(asDouble.last().at(0).toDouble(), -2.5);
    EXPECT_EQ(asInt.last().at(0).toInt(), -2);
    EXPECT_EQ(idDouble.last(), QVariantList({4, -2.5}));
    EXPECT_EQ(idInt.last(), QVariantList({4, -2}));
}

struct ClickCase
{
    const char* name;
    std::function<void(TouchSlider&)> setUp;
    double from;
    const char* button;
    double value;
};
class TouchSliderButton : public ::testing::TestWithParam<ClickCase>
{
};

TEST_P(TouchSliderButton, StepsTheValue)
{
    const ClickCase& c = GetParam();
    TouchSlider slider;
    if (c.setUp)
        c.setUp(slider);
    slider.setValue(c.from);
    ASSERT_EQ(slider.value(), c.from);
    QTest::mouseClick(button(slider, c.button), Qt::LeftButton);
    EXPECT_EQ(slider.value(), c.value);
}

namespace {
void readOnly(TouchSlider& slider)
{
    slider.setReadOnly(true);
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Table,
    TouchSliderButton,
    ::testing::Values(
        ClickCase{"IncrementFromZero", nullptr, 0, "pbInc", 1},
        ClickCase{"IncrementFromBelowZero", nullptr, -1, "pbInc", 0},
        ClickCase{"IncrementStopsAtTheMaximum", nullptr, 100, "pbInc", 100},
        ClickCase{"DecrementFromZero", nullptr, 0, "pbDec", -1},
        ClickCase{"DecrementFromAboveZero", nullptr, 1, "pbDec", 0},
        ClickCase{"DecrementStopsAtTheMinimum", nullptr, -100, "pbDec", -100},
        ClickCase{"DecrementStopsAtAPositiveMinimum", [](TouchSlider& s) { s.setMinimum(10); }, 10, "pbDec",
                  10},
        ClickCase{"DecrementStopsAtZeroWithoutNegativeHalf", [](TouchSlider& s) { s.setMinimum(0); }, 0,
                  "pbDec", 0},
        // A range that collapses to 0 leaves a bar of 0 to 0, which
        // would take any value.
        ClickCase{"IncrementStopsAtAMaximumOfZero", [](TouchSlider& s) { s.setMaximum(0); }, 0, "pbInc", 0},
        ClickCase{"DecrementStopsAtAMinimumWithinHalfAStepOfZero", [](TouchSlider& s) { s.setMinimum(-0.4); },
                  0, "pbDec", 0},
        ClickCase{"DecrementStopsAtZeroWithNeitherHalf",
                  [](TouchSlider& s) {
                      s.setMinimum(-0.4);
                      s.setMaximum(0);
                  },
                  0, "pbDec", 0},
        ClickCase{"IncrementByAHalfStep", [](TouchSlider& s) { s.setPrecision(0.5); }, -0.5, "pbInc", 0},
        ClickCase{"Minimum", nullptr, 30, "pbMin", -100},
        ClickCase{"Maximum", nullptr, -30, "pbMax", 100},
        ClickCase{"Zero", nullptr, -30, "pbZero", 0},
        ClickCase{"MinimumIgnoredWhileReadOnly", readOnly, 30, "pbMin", 30},
        ClickCase{"MaximumIgnoredWhileReadOnly", readOnly, -30, "pbMax", -30}),
    [](const auto& info) { return std::string(info.param.name); });

// A slider on screen whose bars are wide enough that a pixel is less than
// half a step.
class WideTouchSlider : public ::testing::Test
{
protected:
    void SetUp() override
    {
        showWide(slider);
        ASSERT_GE(barNeg->width(), 200);
        ASSERT_GE(barPos->width(), 200);
    }

    TouchSlider slider;
    QProgressBar* barNeg = bar(slider, "barNeg");
    QProgressBar* barPos = bar(slider, "barPos");
};

TEST_F(WideTouchSlider, APressOnABarSetsTheValueUnderTheFinger)
{
    press(barPos, 0);
    EXPECT_EQ(slider.value(), 0.0);
    press(barPos, barPos->width() / 2);
    EXPECT_EQ(slider.value(), 50.0);
    press(barPos, barPos->width() - 1);
    EXPECT_EQ(slider.value(), 100.0);
    // The negative half fills from the right: its left end is the minimum.
    press(barNeg, 0);
    EXPECT_EQ(slider.value(), -100.0);
    press(barNeg, barNeg->width() / 2);
    EXPECT_EQ(slider.value(), -50.0);
    press(barNeg, barNeg->width() - 1);
    EXPECT_EQ(slider.value(), 0.0);
}

TEST_F(WideTouchSlider, ADragAcrossTheGapPassesFromOneHalfToTheOther)
{
    const int posStart = barNeg->width() + spacing(slider);

    // Touched on the negative half, dragged right into the positive half.
    press(barNeg, 0);
    move(barNeg, posStart + barPos->width() / 2);
    EXPECT_EQ(slider.value(), 50.0);
    move(barNeg, barNeg->width() + 1);
    EXPECT_EQ(slider.value(), 0.0);
    move(barNeg, barNeg->width() / 2);
    EXPECT_EQ(slider.value(), -50.0);
    move(barNeg, -40);
    EXPECT_EQ(slider.value(), -100.0);

    // Touched on the positive half, dragged left into the negative half.
    press(barPos, barPos->width() - 1);
    move(barPos, -(spacing(slider) + barNeg->width() / 2));
    EXPECT_EQ(slider.value(), -50.0);
    move(barPos, -1);
    EXPECT_EQ(slider.value(), 0.0);
    move(barPos, barPos->width() + 40);
    EXPECT_EQ(slider.value(), 100.0);
}

TEST_F(WideTouchSlider, ReadOnlyIgnoresTouches)
{
    slider.setReadOnly(true);
    press(barPos, 0);
    press(barNeg, 0);
    move(barPos, 10);
    move(barNeg, 10);
    EXPECT_EQ(slider.value(), 50.0);
}

struct ZeroWidthCase
{
    const char* name;
    const char* narrowBar;
    double from;
    std::function<void(const TouchSlider&)> touch;
};
class TouchSliderZeroWidth : public ::testing::TestWithParam<ZeroWidthCase>
{
};

// A bar squeezed to nothing has no position to map a touch to.
TEST_P(TouchSliderZeroWidth, BarIgnoresTouches)
{
    const ZeroWidthCase& c = GetParam();
    TouchSlider slider;
    bar(slider, c.narrowBar)->setFixedWidth(0);
    showWide(slider);
    ASSERT_EVENTUALLY(bar(slider, c.narrowBar)->width() == 0, 2000);
    slider.setValue(c.from);
    c.touch(slider);
    EXPECT_EQ(slider.value(), c.from);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    TouchSliderZeroWidth,
    ::testing::Values(
        ZeroWidthCase{"PressOnPositive", "barPos", -30, [](const auto& s) { press(bar(s, "barPos"), 0); }},
        ZeroWidthCase{"PressOnNegative", "barNeg", 30, [](const auto& s) { press(bar(s, "barNeg"), 0); }},
        ZeroWidthCase{"MoveOnPositive", "barPos", -30, [](const auto& s) { move(bar(s, "barPos"), 0); }},
        ZeroWidthCase{"MoveOnNegative", "barNeg", 30, [](const auto& s) { move(bar(s, "barNeg"), 0); }},
        ZeroWidthCase{"DragIntoNegative", "barNeg", 30, [](const auto& s) { move(bar(s, "barPos"), -10); }},
        ZeroWidthCase{"DragIntoPositive", "barPos", -30,
                      [](const auto& s) {
                          QProgressBar* barNeg = bar(s, "barNeg");
                          move(barNeg, barNeg->width() + spacing(s) + 1);
                      }}),
    [](const auto& info) { return std::string(info.param.name); });

struct RangeCase
{
    const char* name;
    std::function<void(TouchSlider&)> act;
    double minimum;
    double maximum;
    double value;
    double precision;
    const char* minText;
    const char* maxText;
};
class TouchSliderRange : public ::testing::TestWithParam<RangeCase>
{
};

TEST_P(TouchSliderRange, FollowsTheSetters)
{
    const RangeCase& c = GetParam();
    TouchSlider slider;
    c.act(slider);
    EXPECT_EQ(slider.minimum(), c.minimum);
    EXPECT_EQ(slider.maximum(), c.maximum);
    EXPECT_EQ(slider.value(), c.value);
    EXPECT_EQ(slider.precision(), c.precision);
    EXPECT_EQ(button(slider, "pbMin")->text(), QLatin1String(c.minText));
    EXPECT_EQ(button(slider, "pbMax")->text(), QLatin1String(c.maxText));
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    TouchSliderRange,
    ::testing::Values(
        RangeCase{"MaximumBelowTheValue", [](auto& s) { s.setMaximum(40); }, -100, 40, 40, 1, "-100", "40"},
        RangeCase{"MinimumAboveTheValue", [](auto& s) { s.setMinimum(70); }, 70, 100, 70, 1, "70", "100"},
        RangeCase{"NegativeMaximumIgnored", [](auto& s) { s.setMaximum(-5); }, -100, 100, 50, 1, "-100",
                  "100"},
        RangeCase{"IntegerForms",
                  [](auto& s) {
                      s.setMinimum(-7);
                      s.setMaximum(9);
                      s.setValue(-3);
                  },
                  -7, 9, -3, 1, "-7", "9"},
        RangeCase{"FinerStepKeepsTheRange", [](auto& s) { s.setPrecision(0.25); }, -100, 100, 50, 0.25,
                  "-100", "100"},
        RangeCase{"CoarserStepRoundsTheRange", [](auto& s) { s.setPrecision(3.0); }, -99, 99, 51, 3, "-99",
                  "99"},
        RangeCase{"ZeroStepIgnored", [](auto& s) { s.setPrecision(0.0); }, -100, 100, 50, 1, "-100", "100"},
        RangeCase{"IntegerZeroStepIgnored", [](auto& s) { s.setPrecision(0); }, -100, 100, 50, 1, "-100",
                  "100"},
        RangeCase{"NegativeStepIgnored", [](auto& s) { s.setPrecision(-0.5); }, -100, 100, 50, 1, "-100",
                  "100"},
        RangeCase{"NaNStepIgnored", [](auto& s) { s.setPrecision(notANumber); }, -100, 100, 50, 1, "-100",
                  "100"},
        RangeCase{"InfiniteStepIgnored", [](auto& s) { s.setPrecision(infinity); }, -100, 100, 50, 1, "-100",
                  "100"},
        RangeCase{"InfiniteMinimumIgnored", [](auto& s) { s.setMinimum(-infinity); }, -100, 100, 50, 1,
                  "-100", "100"},
        RangeCase{"NaNMaximumIgnored", [](auto& s) { s.setMaximum(notANumber); }, -100, 100, 50, 1, "-100",
                  "100"}),
    [](const auto& info) { return std::string(info.param.name); });

struct VisibilityCase
{
    const char* name;
    std::function<void(TouchSlider&)> act;
    QStringList hidden;
    std::map<std::string, int> stretch;
};
class TouchSliderVisibility : public ::testing::TestWithParam<VisibilityCase>
{
};

TEST_P(TouchSliderVisibility, ShowsTheButtonsForTheMode)
{
    const VisibilityCase& c = GetParam();
    TouchSlider slider;
    c.act(slider);
    auto* layout = slider.findChild<QHBoxLayout*>(QStringLiteral("horizontalLayout"));
    for (const char* name : {"pbMin", "barNeg", "barPos", "pbMax", "pbDec", "pbZero", "pbInc"}) {
        auto* widget = slider.findChild<QWidget*>(QLatin1String(name));
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_EQ(widget->isHidden(), c.hidden.contains(QLatin1String(name))) << name;
        const auto expected = c.stretch.find(name);
        if (expected != c.stretch.end()) {
            EXPECT_EQ(layout->stretch(layout->indexOf(widget)), expected->second) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    TouchSliderVisibility,
    ::testing::Values(VisibilityCase{"New", [](auto&) {}, {}, {{"barNeg", 4}, {"barPos", 4}}},
                      VisibilityCase{
                          "ReadOnly", readOnly, {"pbDec", "pbInc", "pbZero"}, {{"pbMin", 2}, {"pbMax", 2}}},
                      VisibilityCase{"ReadOnlyWithoutNegativeHalf",
                                     [](auto& s) {
                                         s.setMinimum(0);
                                         s.setReadOnly(true);
                                     },
                                     {"barNeg", "pbDec", "pbInc", "pbZero"},
                                     {{"pbMin", 2}, {"pbMax", 2}}},
                      VisibilityCase{"ReadOnlyAgainOff",
                                     [](auto& s) {
                                         s.setReadOnly(true);
                                         s.setReadOnly(false);
                                     },
                                     {},
                                     {{"pbMin", 1}, {"pbMax", 1}}},
                      VisibilityCase{"NoMinMax",
                                     [](auto& s) { s.setShowMinMax(false); },
                                     {"pbMin", "pbMax"},
                                     {{"pbInc", 1}, {"pbDec", 1}, {"pbZero", 1}}},
                      VisibilityCase{"MinMaxShown",
                                     [](auto& s) { s.setShowMinMax(true); },
                                     {},
                                     {{"pbInc", 2}, {"pbDec", 2}, {"pbZero", 2}}},
                      VisibilityCase{"NoIncDec",
                                     [](auto& s) { s.setShowIncDec(false); },
                                     {"pbDec", "pbInc", "pbZero"},
                                     {{"pbMin", 1}, {"pbMax", 1}}},
                      VisibilityCase{"IncDecWithoutNegativeHalf",
                                     [](auto& s) {
                                         s.setMinimum(0);
                                         s.setShowIncDec(false);
                                         s.setShowIncDec(true);
                                     },
                                     {"barNeg", "pbZero"},
                                     {{"pbMin", 2}, {"pbMax", 2}}},
                      // The zero button would change a read-only slider's value.
                      VisibilityCase{"NegativeHalfBackWhileReadOnly",
                                     [](auto& s) {
                                         s.setReadOnly(true);
                                         s.setMinimum(0);
                                         s.setMinimum(-10);
                                     },
                                     {"pbDec", "pbInc", "pbZero"},
                                     {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TouchSlider, IdSlotsActOnlyForItsSetId)
{
    TouchSlider slider;
    slider.setSetID(2);
    slider.setValueID(3, 10.0);
    slider.setValueID(3, 10);
    slider.disableID(3);
    EXPECT_EQ(slider.value(), 50.0);
    EXPECT_TRUE(slider.isEnabled());

    slider.setValueID(2, 10.0);
    EXPECT_EQ(slider.value(), 10.0);
    slider.setValueID(2, -4);
    EXPECT_EQ(slider.value(), -4.0);
    slider.disableID(2);
    EXPECT_FALSE(slider.isEnabled());
    slider.enableID(3);
    EXPECT_FALSE(slider.isEnabled());
    slider.enableID(2);
    EXPECT_TRUE(slider.isEnabled());
}
