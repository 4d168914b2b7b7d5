#include <functional>

#include <QMetaProperty>
#include <QPointer>
#include <QToolButton>

#include "fingerkit/touch_button.h"
#include "support/test_support.h"
#include "touch_test.h"

namespace {
const QColor green(Qt::green);
const QColor red(Qt::red);
const QColor yellow(Qt::yellow);
const QColor blue(Qt::blue);

// The background colour a plain tool button's palette gives.
QColor paletteButton()
{
    return QToolButton().palette().color(QPalette::Button);
}

// The button's ID signals and state changes, in the order they came.
class SignalLog
{
public:
    explicit SignalLog(TouchButton* button)
    {
        QObject::connect(button, &TouchButton::pressedID, [this](int id) { add("pressedID", id); });
        QObject::connect(button, &TouchButton::releasedID, [this](int id) { add("releasedID", id); });
        QObject::connect(button, &TouchButton::clickedID, [this](int id) { add("clickedID", id); });
        QObject::connect(button, &TouchButton::toggledID, [this](int id, bool on) {
            events << QStringLiteral("toggledID(%1,%2)").arg(id).arg(on ? "on" : "off");
        });
        QObject::connect(button, &TouchButton::stateChanged,
                         [this](TouchButton::State s, TouchButton::State prev) {
                             events << QStringLiteral("stateChanged(%1,%2)").arg(s).arg(prev);
                         });
        QObject::connect(button, &TouchButton::stateChangedID,
                         [this](int id, TouchButton::State s, TouchButton::State prev) {
                             events << QStringLiteral("stateChangedID(%1,%2,%3)").arg(id).arg(s).arg(prev);
                         });
    }

    QStringList events;

private:
    void add(const char* name, int id)
    {
        events << QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(id);
    }
};
} // namespace

struct PropertyCase
{
    const char* name;
    std::function<QVariant()> initial;
    QVariant written;
    bool designable;
};
class TouchButtonProperty : public ::testing::TestWithParam<PropertyCase>
{
};

// Forms set the buttons up through these properties by name.
TEST_P(TouchButtonProperty, StartsAtItsDefaultAndTakesAWrittenValue)
{
    const PropertyCase& c = GetParam();
    TouchButton button;
    const QMetaObject* meta = button.metaObject();
    const QMetaProperty property = meta->property(meta->indexOfProperty(c.name));
    ASSERT_TRUE(property.isValid());
    EXPECT_EQ(property.isDesignable(), c.designable);
    EXPECT_EQ(button.property(c.name), c.initial());
    ASSERT_TRUE(button.setProperty(c.name, c.written));
    EXPECT_EQ(button.property(c.name), c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    TouchButtonProperty,
    ::testing::Values(
        PropertyCase{"downColor", [] { return QVariant(yellow); }, QVariant(blue), true},
        PropertyCase{"upColor", [] { return QVariant(paletteButton()); }, QVariant(blue), true},
        PropertyCase{"grayColor", [] { return QVariant(paletteButton()); }, QVariant(blue), true},
        PropertyCase{"yesColor", [] { return QVariant(green); }, QVariant(blue), true},
        PropertyCase{"noColor", [] { return QVariant(red); }, QVariant(blue), true},
        PropertyCase{"currentColor", [] { return QVariant(paletteButton()); }, QVariant(blue), false},
        PropertyCase{"state", [] { return QVariant::fromValue(TouchButton::Gray); },
                     QVariant::fromValue(TouchButton::No), true},
        PropertyCase{"autoGray", [] { return QVariant(true); }, QVariant(false), true},
        PropertyCase{"animated", [] { return QVariant(true); }, QVariant(false), true},
        PropertyCase{"animationDuration", [] { return QVariant(350); }, QVariant(40), true},
        PropertyCase{"animationCurve", [] { return QVariant::fromValue(QEasingCurve::OutSine); },
                     QVariant::fromValue(QEasingCurve::InOutQuad), true},
        PropertyCase{"blinkDelay", [] { return QVariant(500); }, QVariant(20), true},
        PropertyCase{"clickID", [] { return QVariant(-1); }, QVariant(7), true},
        PropertyCase{"yesID", [] { return QVariant(-1); }, QVariant(8), true},
        PropertyCase{"noID", [] { return QVariant(-1); }, QVariant(9), true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TouchButton, IdConstructorGivesTheIdToAllThreeAndSetsTheText)
{
    TouchButton button(3, QStringLiteral("A"));
    EXPECT_EQ(button.clickID(), 3);
    EXPECT_EQ(button.yesID(), 3);
    EXPECT_EQ(button.noID(), 3);
    EXPECT_EQ(button.text(), QStringLiteral("A"));
    EXPECT_EQ(button.parent(), nullptr);
    EXPECT_EQ(button.state(), TouchButton::Gray);
}

TEST(TouchButton, PressFadesToTheDownColourAndReleaseFadesBack)
{
    TouchButton button;
    button.setAnimationDuration(20);
    SignalLog log(&button);
    const QColor gray = paletteButton();

    QTest::mousePress(&button, Qt::LeftButton);
    // A fade starts from the colour on screen.
    EXPECT_EQ(button.currentColor(), gray);
    ASSERT_EVENTUALLY(button.currentColor() == yellow, 2000);
    EXPECT_EQ(button.palette().color(QPalette::Button), yellow);

    QTest::mouseRelease(&button, Qt::LeftButton);
    ASSERT_EVENTUALLY(button.currentColor() == gray, 2000);
    EXPECT_EQ(button.palette().color(QPalette::Button), gray);
    EXPECT_EQ(log.events, QStringList({"pressedID(-1)", "clickedID(-1)", "releasedID(-1)"}));
}

TEST(TouchButton, ReleaseShowsTheDownColourAtOnce)
{
    TouchButton button;
    button.setAnimationDuration(20);
    QTest::mousePress(&button, Qt::LeftButton);
    QTest::mouseRelease(&button, Qt::LeftButton);
    EXPECT_EQ(button.palette().color(QPalette::Button), yellow);
    ASSERT_EVENTUALLY(button.currentColor() == paletteButton(), 2000);
}

TEST(TouchButton, WithoutAnimationEveryColourChangeIsImmediate)
{
    TouchButton button;
    button.setAnimated(false);
    ColorTrace trace(&button);
    QTest::mousePress(&button, Qt::LeftButton);
    EXPECT_EQ(button.currentColor(), yellow);
    QTest::mouseRelease(&button, Qt::LeftButton);
    button.setState(TouchButton::No);
    button.setState(TouchButton::Yes);
    EXPECT_EQ(trace.colors, QVector<QColor>({yellow, paletteButton(), red, green}));
}

TEST(TouchButton, TheSameStateTwiceTellsOnceButFadesAgain)
{
    TouchButton button;
    button.setAnimationDuration(20);
    SignalLog log(&button);
    button.setState(TouchButton::Yes);
    ASSERT_EVENTUALLY(button.currentColor() == green, 2000);
    button.setCurrentColor(blue);
    button.setState(TouchButton::Yes);
    ASSERT_EVENTUALLY(button.currentColor() == green, 2000);
    EXPECT_EQ(log.events, QStringList({"stateChanged(1,0)", "stateChangedID(-1,1,0)"}));
}

struct StateCase
{
    const char* name;
    TouchButton::State from;
    std::function<void(TouchButton&)> act;
    TouchButton::State expected;
    QColor shown;
    bool enabled;
};
class TouchButtonState : public ::testing::TestWithParam<StateCase>
{
};

TEST_P(TouchButtonState, SlotSetsTheStateAndItsColour)
{
    const StateCase& c = GetParam();
    TouchButton button;
    button.setAnimated(false);
    button.setGrayColor(Qt::darkGray);
    button.setState(c.from);
    c.act(button);
    EXPECT_EQ(button.state(), c.expected);
    EXPECT_EQ(button.currentColor(), c.shown);
    EXPECT_EQ(button.isEnabled(), c.enabled);
}

namespace {
const QColor darkGray(Qt::darkGray);
using B = TouchButton;
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Table,
    TouchButtonState,
    ::testing::Values(
        StateCase{"Yes", B::Gray, [](B& b) { b.setStateYes(); }, B::Yes, green, true},
        StateCase{"No", B::Gray, [](B& b) { b.setStateNo(); }, B::No, red, true},
        StateCase{"Gray", B::Yes, [](B& b) { b.setStateGray(); }, B::Gray, darkGray, true},
        StateCase{"YesOrNoTrue", B::Gray, [](B& b) { b.setStateYesOrNo(true); }, B::Yes, green, true},
        StateCase{"YesOrNoFalse", B::Gray, [](B& b) { b.setStateYesOrNo(false); }, B::No, red, true},
        StateCase{"YesOrGrayTrue", B::No, [](B& b) { b.setStateYesOrGray(true); }, B::Yes, green, true},
        StateCase{"YesOrGrayFalse", B::Yes, [](B& b) { b.setStateYesOrGray(false); }, B::Gray, darkGray, true},
        StateCase{"NoOrYesTrue", B::Gray, [](B& b) { b.setStateNoOrYes(true); }, B::No, red, true},
        StateCase{"NoOrYesFalse", B::Gray, [](B& b) { b.setStateNoOrYes(false); }, B::Yes, green, true},
        StateCase{"NoOrGrayTrue", B::Yes, [](B& b) { b.setStateNoOrGray(true); }, B::No, red, true},
        StateCase{"NoOrGrayFalse", B::No, [](B& b) { b.setStateNoOrGray(false); }, B::Gray, darkGray, true},
        StateCase{"DisableGoesGray", B::Yes, [](B& b) { b.disable(); }, B::Gray, darkGray, false},
        StateCase{"UnknownStateIsIgnored", B::No, [](B& b) { b.setState(B::State(7)); }, B::No, red, true},
        StateCase{"ColourWithoutStateChange", B::Yes, [](B& b) { b.setColor(blue); }, B::Yes, blue, true},
        StateCase{"ColourSettersWaitForAStateChange",
                  B::Yes,
                  [](B& b) {
                      b.setYesColor(blue);
                      b.setNoColor(blue);
                  },
                  B::Yes,
                  green,
                  true},
        StateCase{"NewColourAtTheNextStateChange",
                  B::Gray,
                  [](B& b) {
                      b.setYesColor(blue);
                      b.setStateYes();
                  },
                  B::Yes,
                  blue,
                  true}),
    [](const auto& info) { return std::string(info.param.name); });

struct IdCase
{
    const char* name;
    // The slot compares with noID instead of yesID.
    bool byNoId;
    std::function<void(TouchButton&)> setUp;
    std::function<void(TouchButton&, int)> act;
    std::function<bool(const TouchButton&, const SignalLog&, const ColorTrace&)> done;
};
class TouchButtonIdSlot : public ::testing::TestWithParam<IdCase>
{
};

// One signal can drive a group: a button acts only on its own number.
TEST_P(TouchButtonIdSlot, ActsOnlyOnItsOwnId)
{
    const IdCase& c = GetParam();
    TouchButton button;
    button.setYesID(5);
    button.setNoID(6);
    button.setClickID(9);
    button.setAnimated(false);
    button.setBlinkDelay(10);
    if (c.setUp)
        c.setUp(button);
    SignalLog log(&button);
    ColorTrace trace(&button);

    c.act(button, c.byNoId ? 5 : 6);
    // Twenty blink delays: a blink or a queued click would have shown by then.
    QTest::qWait(200);
    EXPECT_FALSE(c.done(button, log, trace)) << "acted on the other id";

    c.act(button, c.byNoId ? 6 : 5);
    EXPECT_EVENTUALLY(c.done(button, log, trace), 2000);
}

namespace {
bool shown(const ColorTrace& trace, const QColor& color)
{
    return trace.colors.contains(color);
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Table,
    TouchButtonIdSlot,
    ::testing::Values(
        IdCase{"enableID", false, [](B& b) { b.setEnabled(false); }, [](B& b, int id) { b.enableID(id); },
               [](const B& b, auto&, auto&) { return b.isEnabled(); }},
        IdCase{"disableID", false, nullptr, [](B& b, int id) { b.disableID(id); },
               [](const B& b, auto&, auto&) { return !b.isEnabled(); }},
        IdCase{"setStateID", false, nullptr, [](B& b, int id) { b.setStateID(id, B::No); },
               [](const B& b, auto&, auto&) { return b.state() == B::No; }},
        IdCase{"setStateGrayID", false, [](B& b) { b.setStateYes(); },
               [](B& b, int id) { b.setStateGrayID(id); },
               [](const B& b, auto&, auto&) { return b.state() == B::Gray; }},
        IdCase{"setStateYesID", false, nullptr, [](B& b, int id) { b.setStateYesID(id); },
               [](const B& b, auto&, auto&) { return b.state() == B::Yes; }},
        IdCase{"setStateYesOrNoID", false, nullptr, [](B& b, int id) { b.setStateYesOrNoID(id, false); },
               [](const B& b, auto&, auto&) { return b.state() == B::No; }},
        IdCase{"setStateYesOrGrayID", false, [](B& b) { b.setStateNo(); },
               [](B& b, int id) { b.setStateYesOrGrayID(id, false); },
               [](const B& b, auto&, auto&) { return b.state() == B::Gray; }},
        IdCase{"blinkYesID", false, nullptr, [](B& b, int id) { b.blinkYesID(id); },
               [](const B&, auto&, const ColorTrace& t) { return shown(t, green); }},
        IdCase{"blinkYesOrNoID", false, nullptr, [](B& b, int id) { b.blinkYesOrNoID(id, false); },
               [](const B&, auto&, const ColorTrace& t) { return shown(t, red); }},
        IdCase{"delayedClickID", false, nullptr, [](B& b, int id) { b.delayedClickID(id); },
               [](const B&, const SignalLog& l, auto&) { return l.events.contains("clickedID(9)"); }},
        IdCase{"delayedToggleID", false, [](B& b) { b.setCheckable(true); },
               [](B& b, int id) { b.delayedToggleID(id); },
               [](const B&, const SignalLog& l, auto&) { return l.events.contains("toggledID(9,on)"); }},
        IdCase{"setStateNoID", true, nullptr, [](B& b, int id) { b.setStateNoID(id); },
               [](const B& b, auto&, auto&) { return b.state() == B::No; }},
        IdCase{"setStateNoOrYesID", true, nullptr, [](B& b, int id) { b.setStateNoOrYesID(id, false); },
               [](const B& b, auto&, auto&) { return b.state() == B::Yes; }},
        IdCase{"setStateNoOrGrayID", true, nullptr, [](B& b, int id) { b.setStateNoOrGrayID(id, true); },
               [](const B& b, auto&, auto&) { return b.state() == B::No; }},
        IdCase{"blinkNoID", true, nullptr, [](B& b, int id) { b.blinkNoID(id); },
               [](const B&, auto&, const ColorTrace& t) { return shown(t, red); }},
        IdCase{"blinkNoOrYesID", true, nullptr, [](B& b, int id) { b.blinkNoOrYesID(id, false); },
               [](const B&, auto&, const ColorTrace& t) { return shown(t, green); }}),
    [](const auto& info) { return std::string(info.param.name); });

struct UncheckCase
{
    const char* name;
    bool autoGray;
    TouchButton::State after;
    QStringList events;
};
class TouchButtonUncheck : public ::testing::TestWithParam<UncheckCase>
{
};

TEST_P(TouchButtonUncheck, ByTheUserGoesGrayOnlyWithAutoGray)
{
    const UncheckCase& c = GetParam();
    TouchButton button(4, QStringLiteral("A"));
    button.setCheckable(true);
    button.setChecked(true);
    button.setStateYes();
    button.setAutoGray(c.autoGray);
    SignalLog log(&button);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_FALSE(button.isChecked());
    EXPECT_EQ(button.state(), c.after);
    EXPECT_EQ(log.events, c.events);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    TouchButtonUncheck,
    ::testing::Values(UncheckCase{"AutoGray",
                                  true,
                                  TouchButton::Gray,
                                  {"pressedID(4)", "stateChanged(0,1)", "stateChangedID(4,0,1)",
                                   "toggledID(4,off)", "clickedID(4)", "releasedID(4)"}},
                      UncheckCase{"KeepsItsState",
                                  false,
                                  TouchButton::Yes,
                                  {"pressedID(4)", "toggledID(4,off)", "clickedID(4)", "releasedID(4)"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TouchButton, BlinkShowsOnlyTheLastColourAfterTheDelayThenTheStateColour)
{
    TouchButton button;
    button.setAnimated(false);
    button.setBlinkDelay(20);
    button.setStateNo();
    ColorTrace trace(&button);
    button.blink(green);
    button.blink(blue);
    EXPECT_TRUE(trace.colors.isEmpty());
    ASSERT_EVENTUALLY(trace.colors.size() >= 2, 2000);
    // Five delays more: a second flash would have shown by then.
    QTest::qWait(100);
    EXPECT_EQ(trace.colors, QVector<QColor>({blue, red}));
}

TEST(TouchButton, BlinkFadesBackToTheStateColour)
{
    TouchButton button;
    button.setAnimationDuration(20);
    button.setBlinkDelay(10);
    button.setAnimated(false);
    button.setStateYes();
    button.setAnimated(true);
    ColorTrace trace(&button);
    button.blinkNo();
    ASSERT_EVENTUALLY(!trace.colors.isEmpty(), 2000);
    EXPECT_EQ(trace.colors.first(), red);
    ASSERT_EVENTUALLY(button.currentColor() == green, 2000);
    EXPECT_EQ(button.state(), TouchButton::Yes);
}

TEST(TouchButton, DelayedClickWaitsForTheEventLoop)
{
    TouchButton button(2, QStringLiteral("B"));
    SignalLog log(&button);
    button.delayedClick();
    EXPECT_TRUE(log.events.isEmpty());
    ASSERT_EVENTUALLY(log.events == QStringList({"clickedID(2)"}), 2000);
}

struct DeleteCase
{
    const char* name;
    bool checkable;
    std::function<void(TouchButton*)> deleteOn;
};
class TouchButtonDeleted : public ::testing::TestWithParam<DeleteCase>
{
};

// A handler may delete the button that called it (a page closing on its
// own button); the button must not touch itself after that.
TEST_P(TouchButtonDeleted, ByAHandlerOfItsOwnClickIsNotTouchedAfterwards)
{
    const DeleteCase& c = GetParam();
    QWidget window;
    auto* button = new TouchButton(&window);
    if (c.checkable) {
        button->setCheckable(true);
        button->setChecked(true);
        button->setStateYes();
    }
    c.deleteOn(button);
    QPointer<TouchButton> alive(button);
    QTest::mousePress(button, Qt::LeftButton);
    if (alive)
        QTest::mouseRelease(button, Qt::LeftButton);
    EXPECT_TRUE(alive.isNull());
}

namespace {
template <typename Signal> std::function<void(TouchButton*)> deleteOn(Signal signal)
{
    return [signal](TouchButton* b) { QObject::connect(b, signal, [b] { delete b; }); };
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Table,
    TouchButtonDeleted,
    ::testing::Values(DeleteCase{"pressed", false, deleteOn(&QAbstractButton::pressed)},
                      DeleteCase{"released", false, deleteOn(&QAbstractButton::released)},
                      DeleteCase{"clicked", false, deleteOn(&QAbstractButton::clicked)},
                      DeleteCase{"clickedID", false, deleteOn(&TouchButton::clickedID)},
                      DeleteCase{"checkableClicked", true, deleteOn(&QAbstractButton::clicked)}),
    [](const auto& info) { return std::string(info.param.name); });
