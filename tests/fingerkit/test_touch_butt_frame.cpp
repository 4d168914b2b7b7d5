#include <functional>
#include <vector>

#include <QSignalSpy>
#include <QToolButton>

#include "fingerkit/touch_butt_frame.h"
#include "support/test_support.h"
#include "touch_test.h"

namespace {
const QStringList threeTexts{"A", "B", "C"};

// What a user sees of each button: checked, state, hidden, enabled.
QStringList snapshot(const TouchButtFrame& frame)
{
    QStringList buttons;
    for (int i = 0; TouchButton* b = frame.button(i); ++i)
        buttons << QStringLiteral("%1/%2/%3/%4")
                       .arg(b->isChecked())
                       .arg(b->state())
                       .arg(b->isHidden())
                       .arg(b->isEnabled());
    return buttons;
}

// The frame's signals, in the order they came.
QStringList* recordSignals(TouchButtFrame& frame)
{
    auto* events = new QStringList;
    QObject::connect(&frame, &QObject::destroyed, [events] { delete events; });
    QObject::connect(&frame, &TouchButtFrame::clicked,
                     [events](int i) { *events << QStringLiteral("clicked(%1)").arg(i); });
    QObject::connect(&frame, &TouchButtFrame::clickedID, [events](int id, int i) {
        *events << QStringLiteral("clickedID(%1,%2)").arg(id).arg(i);
    });
    QObject::connect(&frame, &TouchButtFrame::toggled, [events](int i, bool on) {
        *events << QStringLiteral("toggled(%1,%2)").arg(i).arg(on ? "on" : "off");
    });
    QObject::connect(&frame, &TouchButtFrame::toggledID, [events](int id, int i, bool on) {
        *events << QStringLiteral("toggledID(%1,%2,%3)").arg(id).arg(i).arg(on ? "on" : "off");
    });
    return events;
}
} // namespace

TEST(TouchButtFrame, NewFrameHasNoButtonsAndAFreshButtonsColours)
{
    TouchButtFrame frame;
    const TouchButton fresh;
    EXPECT_EQ(frame.currentButton(), -1);
    EXPECT_TRUE(frame.buttons().isEmpty());
    EXPECT_EQ(frame.button(0), nullptr);
    EXPECT_EQ(frame.colorYes(), fresh.yesColor());
    EXPECT_EQ(frame.colorNo(), fresh.noColor());
    EXPECT_EQ(frame.colorGray(), fresh.grayColor());
    EXPECT_EQ(frame.colorDown(), fresh.downColor());
    EXPECT_EQ(frame.orientation(), Qt::Horizontal);
    EXPECT_EQ(frame.frameShape(), QFrame::StyledPanel);
    EXPECT_EQ(frame.clickID(), -1);
    EXPECT_EQ(frame.setID(), -1);
}

TEST(TouchButtFrame, AWrittenLineBreakBreaksTheCaptionAndReadsBackWritten)
{
    TouchButtFrame frame;
    frame.setButtons({"One", "Two\\nlines"});
    EXPECT_EQ(frame.button(1)->text(), QStringLiteral("Two\nlines"));
    EXPECT_EQ(frame.buttons(), QStringList({"One", "Two\\nlines"}));
    EXPECT_EQ(frame.property("buttons").toStringList(), QStringList({"One", "Two\\nlines"}));
}

struct RebuildCase
{
    const char* name;
    QStringList before;
    int checked;
    QStringList after;
    int current;
};
class TouchButtFrameRebuild : public ::testing::TestWithParam<RebuildCase>
{
};

TEST_P(TouchButtFrameRebuild, KeepsTheCheckedIndexWhereItStillExists)
{
    const RebuildCase& c = GetParam();
    TouchButtFrame frame;
    frame.setButtons(c.before);
    frame.setCurrentButton(c.checked);
    frame.setButtons(c.after);
    EXPECT_EQ(frame.buttons(), c.after);
    EXPECT_EQ(frame.currentButton(), c.current);
    for (int i = 0; i < c.after.size(); ++i)
        EXPECT_EQ(frame.button(i)->isChecked(), i == c.current) << i;
}

INSTANTIATE_TEST_SUITE_P(Table,
                         TouchButtFrameRebuild,
                         ::testing::Values(RebuildCase{"SameIndex", threeTexts, 2, {"w", "x", "y", "z"}, 2},
                                           RebuildCase{
                                               "FewerTextsCheckTheFirst", threeTexts, 2, {"x", "y"}, 0},
                                           RebuildCase{"FirstFillChecksTheFirst", {}, -1, {"x", "y"}, 0},
                                           RebuildCase{"EmptyListLeavesNone", threeTexts, 1, {}, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TouchButtFrame, AClickChecksOneButtonGraysThePreviousAndTells)
{
    TouchButtFrame frame;
    frame.setButtons(threeTexts);
    frame.setClickID(7);
    frame.setButtonYes(0);
    QStringList* events = recordSignals(frame);

    QTest::mouseClick(frame.button(2), Qt::LeftButton);
    EXPECT_EQ(frame.currentButton(), 2);
    EXPECT_EQ(frame.button(0)->state(), TouchButton::Gray);
    EXPECT_EQ(*events, QStringList({"toggled(0,off)", "toggledID(7,0,off)", "toggled(2,on)",
                                    "toggledID(7,2,on)", "clicked(2)", "clickedID(7,2)"}));
}

TEST(TouchButtFrame, UncheckingTheCheckedButtonLeavesNoneChecked)
{
    TouchButtFrame frame;
    frame.setButtons(threeTexts);
    frame.setButtonYes(0);
    QStringList* events = recordSignals(frame);

    frame.setButtonUnchecked(0);
    EXPECT_EQ(frame.currentButton(), -1);
    EXPECT_EQ(frame.button(0)->state(), TouchButton::Gray);
    EXPECT_EQ(*events, QStringList({"toggled(0,off)", "toggledID(-1,0,off)"}));

    // Still one group: checking two buttons in turn leaves one checked.
    frame.setButtonChecked(1);
    frame.setCurrentButton(2);
    EXPECT_EQ(snapshot(frame), QStringList({"0/0/0/1", "0/0/0/1", "1/0/0/1"}));
}

TEST(TouchButtFrame, CurrentButtonMovesTheCheckAndIgnoresAMissingButton)
{
    TouchButtFrame frame;
    frame.setButtons(threeTexts);
    frame.setCurrentButton(1);
    EXPECT_EQ(frame.currentButton(), 1);
    frame.setCurrentButton(3);
    frame.setCurrentButton(-1);
    EXPECT_EQ(frame.currentButton(), 1);

    // Choosing the checked one again changes nothing, not even its state.
    frame.setButtonYes(1);
    QStringList* events = recordSignals(frame);
    frame.setProperty("currentButton", 1);
    EXPECT_TRUE(events->isEmpty());
    EXPECT_EQ(frame.button(1)->state(), TouchButton::Yes);
}

TEST(TouchButtFrame, RebuildingFromAClickHandlerLeavesTheNewButtons)
{
    TouchButtFrame frame;
    frame.setButtons(threeTexts);
    QObject::connect(&frame, &TouchButtFrame::clicked, &frame, [&frame] { frame.setButtons({"x", "y"}); });
    QTest::mouseClick(frame.button(1), Qt::LeftButton);
    EXPECT_EQ(frame.buttons(), QStringList({"x", "y"}));
    EXPECT_EQ(frame.currentButton(), 1);
}

TEST(TouchButtFrame, ColoursReachEveryButtonAndLaterOnes)
{
    TouchButtFrame frame;
    frame.setButtons(threeTexts);
    frame.setColorYes(Qt::blue);
    frame.setColorNo(Qt::magenta);
    frame.setColorGray(Qt::darkGray);
    frame.setColorDown(Qt::cyan);
    frame.setButtons({"x", "y"});
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(frame.button(i)->yesColor(), QColor(Qt::blue));
        EXPECT_EQ(frame.button(i)->noColor(), QColor(Qt::magenta));
        EXPECT_EQ(frame.button(i)->grayColor(), QColor(Qt::darkGray));
        EXPECT_EQ(frame.button(i)->downColor(), QColor(Qt::cyan));
    }
}

TEST(TouchButtFrame, OrientationLaysTheButtonsOutInARowOrAColumn)
{
    TouchButtFrame frame(nullptr, Qt::Vertical);
    frame.setButtons(threeTexts);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    EXPECT_EQ(frame.orientation(), Qt::Vertical);
    EXPECT_GT(frame.button(1)->y(), frame.button(0)->y());
    EXPECT_EQ(frame.button(1)->x(), frame.button(0)->x());

    frame.setProperty("orientation", Qt::Horizontal);
    EXPECT_EQ(frame.orientation(), Qt::Horizontal);
    ASSERT_EVENTUALLY(frame.button(1)->x() > frame.button(0)->x(), 2000);
    EXPECT_EQ(frame.button(1)->y(), frame.button(0)->y());
}

struct FrameSlotCase
{
    const char* name;
    // Acts on button 1 (when the slot takes an index).
    bool indexed;
    std::function<void(TouchButtFrame&)> setUp;
    std::function<void(TouchButtFrame&, int index)> plain;
    std::function<void(TouchButtFrame&, int setId, int index)> byId;
    std::function<bool(const TouchButtFrame&)> done;
};

namespace {
using F = TouchButtFrame;
using B = TouchButton;

bool all(const F& f, B::State state)
{
    for (int i = 0; B* b = f.button(i); ++i)
        if (b->state() != state)
            return false;
    return true;
}

const std::vector<FrameSlotCase> frameSlots{
    {"enable", false, [](F& f) { f.setEnabled(false); }, [](F& f, int) { f.enable(); },
     [](F& f, int id, int) { f.enableID(id); }, [](const F& f) { return f.isEnabled(); }},
    {"disable", false, [](F& f) { f.setAllButtonsYes(); }, [](F& f, int) { f.disable(); },
     [](F& f, int id, int) { f.disableID(id); },
     [](const F& f) { return !f.isEnabled() && all(f, B::Gray); }},
    {"setButtonChecked", true, nullptr, [](F& f, int i) { f.setButtonChecked(i); },
     [](F& f, int id, int i) { f.setButtonCheckedID(id, i); },
     [](const F& f) { return f.currentButton() == 1; }},
    {"setButtonUnchecked", true, [](F& f) { f.setCurrentButton(1); },
     [](F& f, int i) { f.setButtonUnchecked(i); }, [](F& f, int id, int i) { f.setButtonUncheckedID(id, i); },
     [](const F& f) { return f.currentButton() == -1; }},
    {"setButtonState", true, nullptr, [](F& f, int i) { f.setButtonState(i, B::No); },
     [](F& f, int id, int i) { f.setButtonStateID(id, i, B::No); },
     [](const F& f) { return f.button(1)->state() == B::No; }},
    {"setButtonYes", true, nullptr, [](F& f, int i) { f.setButtonYes(i); },
     [](F& f, int id, int i) { f.setButtonYesID(id, i); },
     [](const F& f) { return f.button(1)->state() == B::Yes; }},
    {"setButtonNo", true, nullptr, [](F& f, int i) { f.setButtonNo(i); },
     [](F& f, int id, int i) { f.setButtonNoID(id, i); },
     [](const F& f) { return f.button(1)->state() == B::No; }},
    {"setButtonGray", true, [](F& f) { f.setButtonYes(1); }, [](F& f, int i) { f.setButtonGray(i); },
     [](F& f, int id, int i) { f.setButtonGrayID(id, i); },
     [](const F& f) { return f.button(1)->state() == B::Gray; }},
    {"setAllButtonsState", false, nullptr, [](F& f, int) { f.setAllButtonsState(B::No); },
     [](F& f, int id, int) { f.setAllButtonsStateID(id, B::No); }, [](const F& f) { return all(f, B::No); }},
    {"setAllButtonsYes", false, nullptr, [](F& f, int) { f.setAllButtonsYes(); },
     [](F& f, int id, int) { f.setAllButtonsYesID(id); }, [](const F& f) { return all(f, B::Yes); }},
    {"setAllButtonsNo", false, nullptr, [](F& f, int) { f.setAllButtonsNo(); },
     [](F& f, int id, int) { f.setAllButtonsNoID(id); }, [](const F& f) { return all(f, B::No); }},
    {"setAllButtonsGray", false, [](F& f) { f.setAllButtonsYes(); }, [](F& f, int) { f.setAllButtonsGray(); },
     [](F& f, int id, int) { f.setAllButtonsGrayID(id); }, [](const F& f) { return all(f, B::Gray); }},
    {"hideButton", true, nullptr, [](F& f, int i) { f.hideButton(i); },
     [](F& f, int id, int i) { f.hideButtonID(id, i); }, [](const F& f) { return f.button(1)->isHidden(); }},
    {"showButton", true, [](F& f) { f.hideButton(1); }, [](F& f, int i) { f.showButton(i); },
     [](F& f, int id, int i) { f.showButtonID(id, i); }, [](const F& f) { return !f.button(1)->isHidden(); }},
    {"enableButton", true, [](F& f) { f.button(1)->setEnabled(false); },
     [](F& f, int i) { f.enableButton(i); }, [](F& f, int id, int i) { f.enableButtonID(id, i); },
     [](const F& f) { return f.button(1)->isEnabled(); }},
    {"disableButton", true, [](F& f) { f.setButtonYes(1); }, [](F& f, int i) { f.disableButton(i); },
     [](F& f, int id, int i) { f.disableButtonID(id, i); },
     [](const F& f) { return !f.button(1)->isEnabled() && f.button(1)->state() == B::Gray; }},
};

std::vector<FrameSlotCase> indexedSlots()
{
    std::vector<FrameSlotCase> rows;
    std::copy_if(frameSlots.begin(), frameSlots.end(), std::back_inserter(rows),
                 [](const auto& row) { return row.indexed; });
    return rows;
}

// A frame of three buttons, the first checked, with setID 2.
void prepare(TouchButtFrame& frame, const FrameSlotCase& c)
{
    frame.setButtons(threeTexts);
    frame.setSetID(2);
    if (c.setUp)
        c.setUp(frame);
}
} // namespace

class TouchButtFrameSlot : public ::testing::TestWithParam<FrameSlotCase>
{
};

TEST_P(TouchButtFrameSlot, ActsOnlyForItsSetId)
{
    const FrameSlotCase& c = GetParam();
    TouchButtFrame frame;
    prepare(frame, c);
    ASSERT_FALSE(c.done(frame));
    c.byId(frame, 3, 1);
    EXPECT_FALSE(c.done(frame));
    c.byId(frame, 2, 1);
    EXPECT_TRUE(c.done(frame));
}

TEST_P(TouchButtFrameSlot, ActsWithoutId)
{
    const FrameSlotCase& c = GetParam();
    TouchButtFrame frame;
    prepare(frame, c);
    c.plain(frame, 1);
    EXPECT_TRUE(c.done(frame));
}

INSTANTIATE_TEST_SUITE_P(Table, TouchButtFrameSlot, ::testing::ValuesIn(frameSlots), [](const auto& info) {
    return std::string(info.param.name);
});

class TouchButtFrameIndexSlot : public ::testing::TestWithParam<FrameSlotCase>
{
};

TEST_P(TouchButtFrameIndexSlot, IgnoresAnIndexOutsideTheRow)
{
    const FrameSlotCase& c = GetParam();
    TouchButtFrame frame;
    prepare(frame, c);
    const QStringList before = snapshot(frame);
    for (int index : {-1, 3, 1000}) {
        c.plain(frame, index);
        c.byId(frame, 2, index);
    }
    EXPECT_EQ(snapshot(frame), before);
}

INSTANTIATE_TEST_SUITE_P(Table,
                         TouchButtFrameIndexSlot,
                         ::testing::ValuesIn(indexedSlots()),
                         [](const auto& info) { return std::string(info.param.name); });
