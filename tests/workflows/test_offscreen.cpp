// The station without a monitor: cards (the card reader's signal) and codes
// (a device-path scanner on a pseudo-terminal) go through the hub to the
// off-screen workflow, which plays its prompts on the real media player and
// runs the issue and return workflows on the simulated lock controller. The
// prompts played are read back from the log.

#include <cmath>
#include <vector>

#include <QFileInfo>
#include <QMediaPlayer>

#include "readers/cryptography.h"
#include "storage/database.h"
#include "support/dialog_answer.h"
#include "workflows/workflow_fixture.h"

using TestSupport::PtyPair;

namespace {
// A mono 16-bit WAV file of a tone that lasts ms milliseconds.
void writeTone(const QString& path, int ms)
{
    const int rate = 8000;
    const int samples = rate * ms / 1000;
    QByteArray pcm;
    for (int i = 0; i < samples; ++i) {
        const auto value = qint16(8000 * std::sin(2 * M_PI * 440 * i / rate));
        pcm.append(char(value & 0xff));
        pcm.append(char((value >> 8) & 0xff));
    }
    auto le = [](quint32 v, int bytes) {
        QByteArray b;
        for (int i = 0; i < bytes; ++i)
            b.append(char((v >> (8 * i)) & 0xff));
        return b;
    };
    auto le32 = [&le](quint32 v) { return le(v, 4); };
    auto le16 = [&le](quint16 v) { return le(v, 2); };
    QByteArray wav = "RIFF" + le32(quint32(36 + pcm.size())) + "WAVEfmt " + le32(16) + le16(1) + le16(1)
                     + le32(rate) + le32(rate * 2) + le16(2) + le16(16) + "data" + le32(quint32(pcm.size()))
                     + pcm;
    if (!TestSupport::writeFile(path, wav))
        ADD_FAILURE() << "cannot write " << path.toStdString();
}

const char* const promptFiles[] = {"audio_initial.wav", "audio_give.wav", "audio_return.wav",
                                   "audio_login_first.wav", "audio_error.wav"};

// The media backend reports a missing sound device, a file it cannot decode
// and the dummy sink it falls back to as Qt warnings, which fail a test
// otherwise. Only those are dropped, while the object lives.
class MediaBackendMessages
{
public:
    MediaBackendMessages() { previous = qInstallMessageHandler(&MediaBackendMessages::handle); }
    ~MediaBackendMessages() { qInstallMessageHandler(previous); }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        if (message.startsWith(QLatin1String("GStreamer;"))
            || message.startsWith(QLatin1String("Warning: \""))
            || message.startsWith(QLatin1String("Error: \"")))
            return;
        previous(type, context, message);
    }
    static QtMessageHandler previous;
};
QtMessageHandler MediaBackendMessages::previous = nullptr;

// Sound in real time, on the dummy sink the media backend falls back to,
// instead of the fast fake sink of the other tests: a prompt then plays as
// long as it lasts. Set before the hub, whose player chooses its sink when
// it is built.
class RealTimeSound
{
public:
    RealTimeSound() { qunsetenv("QT_GSTREAMER_PLAYBIN_AUDIOSINK"); }
    ~RealTimeSound() { qputenv("QT_GSTREAMER_PLAYBIN_AUDIOSINK", "fakesink"); }

private:
    MediaBackendMessages messages;
};

enum class Input
{
    CardAnna,
    CardBob,
    CardUnknown,
    CardUnreadable,
    CodeAnna,
    CodeUnknown,
    StickerKnown,
    StickerUnknown,
    ArmingTimeout,
};

class Offscreen : public WorkflowTest
{
protected:
    // The station with short prompts in its working directory, a scanner on
    // a pseudo-terminal and off-screen support, still on the screen.
    void startWithPrompts(Options options = Options(), int promptMs = 150)
    {
        for (const char* name : promptFiles)
            writeTone(QString::fromLatin1(name), promptMs);
        ASSERT_FALSE(scanner.path.isEmpty());
        options.scannerDevice = scanner.path;
        options.supportOffscreen = true;
        start(options);
    }

    // The same station, already off-screen.
    void startOffscreen(const Options& options = Options(), int promptMs = 150)
    {
        startWithPrompts(options, promptMs);
        if (HasFatalFailure())
            return;
        setMonitor(false);
    }

    // What the monitor detection would find: Ctrl+O turns it off, and with it
    // the monitor.
    void setMonitor(bool present)
    {
        core->monitor_detect_enabled.store(present);
        core->monitor_present.store(present);
        ASSERT_EVENTUALLY(core->offscreen == !present && core->offscreenLogic.isEnabled() == !present, 3000);
    }

    // The prompts played so far, by their [audio] key, in order.
    QStringList prompts() const
    {
        EXPECT_TRUE(TestSupport::logWritten());
        return TestSupport::logLinesAfter(QStringLiteral("[OffScreenLogic] Play "));
    }

    static int logCount(const QString& text)
    {
        EXPECT_TRUE(TestSupport::logWritten());
        return int(TestSupport::logLinesAfter(text).size());
    }

    void give(Input input)
    {
        switch (input) {
        case Input::CardAnna:
            Q_EMIT core->cardScanner.personNumberReaded(QStringLiteral("89"));
            break;
        case Input::CardBob:
            Q_EMIT core->cardScanner.personNumberReaded(QStringLiteral("77"));
            break;
        case Input::CardUnknown:
            Q_EMIT core->cardScanner.personNumberReaded(QStringLiteral("55"));
            break;
        case Input::CardUnreadable:
            Q_EMIT core->cardScanner.personNumberReaded(QString());
            break;
        case Input::CodeAnna:
            ASSERT_TRUE(scanner.write(qrLoginEncrypt(QStringLiteral("anna"), QStringLiteral("pw")) + "\r\n"));
            break;
        case Input::CodeUnknown:
            ASSERT_TRUE(
                scanner.write(qrLoginEncrypt(QStringLiteral("nobody"), QStringLiteral("pw")) + "\r\n"));
            break;
        case Input::StickerKnown:
            ASSERT_TRUE(scanner.write("SN-0020\r\n"));
            break;
        case Input::StickerUnknown:
            ASSERT_TRUE(scanner.write("SN-9999\r\n"));
            break;
        case Input::ArmingTimeout:
            ASSERT_EVENTUALLY(core->offscreenLogic.currentState() == 0, 3000);
            break;
        }
    }

    // Anna's card twice: the issue runs until the door is to be closed.
    void issueByCard()
    {
        giveAndHear(Input::CardAnna);
        giveAndHear(Input::CardAnna);
        ASSERT_EVENTUALLY(core->activeScreen() == Constants::asCloseCell, 3000);
        ASSERT_EVENTUALLY(!core->offscreenLogic.isAudioPlayed(), 5000);
    }

    // One input, once the last prompt has ended; it plays one more prompt.
    void giveAndHear(Input input)
    {
        ASSERT_EVENTUALLY(!core->offscreenLogic.isAudioPlayed(), 5000);
        const int before = int(prompts().size());
        give(input);
        if (HasFatalFailure())
            return;
        ASSERT_EVENTUALLY(prompts().size() == before + 1, 3000);
    }

    PtyPair scanner;
};

} // namespace

enum class Run
{
    None,
    Issue,
    Return,
};

struct InputCase
{
    const char* name;
    std::vector<Input> inputs;
    QStringList prompts;
    int state;
    Run run;
    // The last input arrives while the prompt before it still plays.
    bool lastWhilePlaying = false;
    const char* gotoStart = "5 s";
};
class OffscreenInputs : public Offscreen, public ::testing::WithParamInterface<InputCase>
{
};

TEST_P(OffscreenInputs, PlayThePromptAndRunTheWorkflow)
{
    const InputCase& c = GetParam();
    Options options;
    options.gotoStart = QString::fromLatin1(c.gotoStart);
    startOffscreen(options);
    if (HasFatalFailure())
        return;
    const size_t count = c.inputs.size();
    for (size_t i = 0; i < count; ++i) {
        const Input input = c.inputs[i];
        // Cards are taken at once: the second of two comes while the
        // prompt of the first still plays.
        const bool backToBack = c.lastWhilePlaying && i + 2 >= count;
        if (input == Input::ArmingTimeout || backToBack)
            give(input);
        else
            giveAndHear(input);
        if (HasFatalFailure())
            return;
        if (backToBack && i + 2 == count) {
            ASSERT_TRUE(core->offscreenLogic.isAudioPlayed());
        }
    }
    if (c.lastWhilePlaying) {
        ASSERT_EVENTUALLY(prompts().size() == c.prompts.size(), 3000);
    }

    EXPECT_EQ(prompts(), c.prompts);
    EXPECT_EQ(core->offscreenLogic.currentState(), c.state);
    switch (c.run) {
    case Run::None:
        EXPECT_FALSE(core->giveLogic.isActive());
        EXPECT_FALSE(core->returnLogic.isActive());
        EXPECT_EQ(core->activeScreen(), Constants::asStart);
        EXPECT_TRUE(queuedChanges().isEmpty());
        EXPECT_EQ(openFrames(0) + openFrames(1) + openFrames(2), 0);
        break;
    case Run::Issue:
        ASSERT_EVENTUALLY(queuedOperations() == QVector<int>{Constants::doIssued}, 3000);
        EXPECT_EQ(core->activeScreen(), Constants::asCloseCell);
        EXPECT_GE(openFrames(0), 1);
        EXPECT_EQ(deviceRecord(12).userId, 4);
        break;
    case Run::Return:
        ASSERT_EVENTUALLY(queuedOperations() == QVector<int>{Constants::doReturned}, 3000);
        EXPECT_EQ(core->activeScreen(), Constants::asCloseCell);
        EXPECT_EQ(openFrames(0), 0); // cell 1 holds a device
        EXPECT_GE(openFrames(1) + openFrames(2), 1);
        EXPECT_EQ(deviceRecord(20).userId, 0);
        break;
    }
    EXPECT_EQ(logCount(QStringLiteral("[OffScreenLogic] A prompt is playing, input ignored")),
              c.lastWhilePlaying ? 1 : 0);
}

using I = Input;
INSTANTIATE_TEST_SUITE_P(
    Table,
    OffscreenInputs,
    ::testing::Values(
        InputCase{"IdleKnownCardArms", {I::CardAnna}, {"initial"}, 1, Run::None},
        InputCase{"IdleKnownCodeArms", {I::CodeAnna}, {"initial"}, 1, Run::None},
        InputCase{"IdleUnknownCard", {I::CardUnknown}, {"error"}, 0, Run::None},
        InputCase{"IdleUnreadableCard", {I::CardUnreadable}, {"error"}, 0, Run::None},
        InputCase{"IdleUnknownCode", {I::CodeUnknown}, {"error"}, 0, Run::None},
        InputCase{
            "ArmedUnknownCardStaysArmed", {I::CardAnna, I::CardUnknown}, {"initial", "error"}, 1, Run::None},
        InputCase{
            "ArmedUnknownCodeStaysArmed", {I::CardAnna, I::CodeUnknown}, {"initial", "error"}, 1, Run::None},
        InputCase{"IdleKnownDeviceAsksForLoginFirst", {I::StickerKnown}, {"login_first"}, 0, Run::None},
        InputCase{"IdleUnknownDevice", {I::StickerUnknown}, {"error"}, 0, Run::None},
        InputCase{"ArmedUnknownDeviceStaysArmed",
                  {I::CardAnna, I::StickerUnknown},
                  {"initial", "error"},
                  1,
                  Run::None},
        InputCase{"ArmedSameCardIssues", {I::CardAnna, I::CardAnna}, {"initial", "give"}, 0, Run::Issue},
        InputCase{
            "ArmedSameUserByCodeIssues", {I::CardAnna, I::CodeAnna}, {"initial", "give"}, 0, Run::Issue},
        // Bob's card arms for him: Anna's card after it arms for her again.
        InputCase{"ArmedOtherUserRearms",
                  {I::CardAnna, I::CardBob, I::CardAnna},
                  {"initial", "initial", "initial"},
                  1,
                  Run::None},
        InputCase{
            "ArmedKnownDeviceReturns", {I::CodeAnna, I::StickerKnown}, {"initial", "return"}, 0, Run::Return},
        InputCase{"ArmingTimesOut",
                  {I::CardAnna, I::ArmingTimeout, I::CardAnna},
                  {"initial", "initial"},
                  1,
                  Run::None,
                  false,
                  "300 ms"},
        InputCase{
            "InputWhileAPromptPlaysIsDropped", {I::CardAnna, I::CardAnna}, {"initial"}, 1, Run::None, true}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {
// The inputs that begin a run, while every write fails: the run's prompt,
// then the error, and no run.
struct NoRecordCase
{
    const char* name;
    std::vector<Input> inputs;
    QStringList prompts;
};
void PrintTo(const NoRecordCase& c, std::ostream* os)
{
    *os << c.name;
}
class OffscreenWritesFail : public Offscreen, public ::testing::WithParamInterface<NoRecordCase>
{
};
} // namespace

TEST_P(OffscreenWritesFail, PlayTheErrorAndBeginNoRun)
{
    const NoRecordCase& c = GetParam();
    startOffscreen();
    if (HasFatalFailure())
        return;
    failWrites();
    for (Input input : c.inputs) {
        giveAndHear(input);
        if (HasFatalFailure())
            return;
    }
    ASSERT_EVENTUALLY(prompts().size() == c.prompts.size(), 3000);
    ASSERT_EVENTUALLY(!core->offscreenLogic.isAudioPlayed(), 5000);
    EXPECT_EQ(prompts(), c.prompts);
    EXPECT_EQ(core->offscreenLogic.currentState(), 0);
    EXPECT_FALSE(core->giveLogic.isActive());
    EXPECT_FALSE(core->returnLogic.isActive());
    EXPECT_TRUE(giveDone->isEmpty());
    EXPECT_TRUE(returnDone->isEmpty());
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
    EXPECT_FALSE(screenSeen(*screens, Constants::asIdentifyUser));
    EXPECT_EQ(openFramesOfAllLocks(), 0);
    EXPECT_EQ(logCount(QStringLiteral("[OffScreenLogic] Issue")), 0);
    EXPECT_EQ(logCount(QStringLiteral("[OffScreenLogic] Return")), 0);
    EXPECT_EQ(refusalsLogged(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    OffscreenWritesFail,
    ::testing::Values(NoRecordCase{"SameCardTwice", {I::CardAnna, I::CardAnna}, {"initial", "give", "error"}},
                      NoRecordCase{
                          "CodeThenSticker", {I::CodeAnna, I::StickerKnown}, {"initial", "return", "error"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Offscreen, IssueAndReturnRunToTheClosedDoor)
{
    startOffscreen();
    issueByCard();
    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    EXPECT_TRUE(giveDone->at(0).at(0).toBool());
    EXPECT_EQ(core->activeScreen(), Constants::asStart);

    // Back on the start screen the next user goes on off-screen: the device
    // just taken goes back.
    giveAndHear(Input::CardAnna);
    ASSERT_EVENTUALLY(!core->offscreenLogic.isAudioPlayed(), 5000);
    ASSERT_TRUE(scanner.write("SN-0012\r\n"));
    ASSERT_EVENTUALLY(core->activeScreen() == Constants::asCloseCell, 3000);
    const VXVector<int> open = core->cellsLogic.openCells();
    ASSERT_EQ(open.size(), 1);
    sim.setDoor(0, open.first() - 1, false);
    ASSERT_EVENTUALLY(returnDone->count() == 1, 3000);
    EXPECT_TRUE(returnDone->at(0).at(0).toBool());
    EXPECT_EQ(core->cellsLogic.getCellByNumber(open.first()).device.id, 12);
    EXPECT_EVENTUALLY(queuedOperations() == (QVector<int>{Constants::doIssued, Constants::doReturned}), 3000);
    EXPECT_EQ(prompts(), (QStringList{"initial", "give", "initial", "return"}));
    EXPECT_EQ(messages, (QStringList{"Issue device: Successful", "Issue device: Successful"}));
    EXPECT_EQ(logCount(QStringLiteral("[OffScreenLogic] Issue done")), 1);
    EXPECT_EQ(logCount(QStringLiteral("[OffScreenLogic] Return done")), 1);
}

TEST_F(Offscreen, InputOnAnotherScreenIsIgnored)
{
    startOffscreen();
    issueByCard();
    give(Input::CardAnna);
    give(Input::CardUnknown);
    ASSERT_TRUE(scanner.write("SN-0020\r\n"));
    QTest::qWait(200); // ten scanner ticks
    EXPECT_EQ(prompts(), (QStringList{"initial", "give"}));
    EXPECT_EQ(core->offscreenLogic.currentState(), 0);
    EXPECT_TRUE(core->giveLogic.isActive());
    EXPECT_FALSE(core->returnLogic.isActive());
}

TEST_F(Offscreen, OffModePlaysNothingAndRunsNothing)
{
    startOffscreen();
    setMonitor(true);
    core->offscreenLogic.playAudio(StationOffScreenLogic::atInitial);
    EXPECT_FALSE(core->offscreenLogic.isAudioPlayed());
    // Called as the hub would in off-screen mode: armed, but nothing runs.
    core->offscreenLogic.loginSuccessful(Database::instance()->userByLogin(QStringLiteral("anna")));
    core->offscreenLogic.loginSuccessful(Database::instance()->userByLogin(QStringLiteral("anna")));
    core->offscreenLogic.loginSuccessful(Database::instance()->userByLogin(QStringLiteral("anna")));
    core->offscreenLogic.deviceDetected(Database::instance()->deviceBySerial(QStringLiteral("SN-0020")));
    EXPECT_FALSE(core->giveLogic.isActive());
    EXPECT_FALSE(core->returnLogic.isActive());
    EXPECT_TRUE(prompts().isEmpty());
    EXPECT_EQ(core->activeScreen(), Constants::asStart);
    EXPECT_EQ(core->offscreenLogic.currentState(), 0);
}

TEST_F(Offscreen, PromptFilesAreAbsolutePathsFromTheAudioSection)
{
    Options options;
    options.audio = QStringLiteral("give = sounds/take.wav\nerror = /opt/prompts/error.wav\n");
    startOffscreen(options);
    const StationOffScreenLogic& logic = core->offscreenLogic;
    EXPECT_EQ(logic.audioFile(StationOffScreenLogic::atInitial),
              QFileInfo("audio_initial.wav").absoluteFilePath());
    EXPECT_EQ(logic.audioFile(StationOffScreenLogic::atGive),
              QFileInfo("sounds/take.wav").absoluteFilePath());
    EXPECT_EQ(logic.audioFile(StationOffScreenLogic::atReturn),
              QFileInfo("audio_return.wav").absoluteFilePath());
    EXPECT_EQ(logic.audioFile(StationOffScreenLogic::atLoginFirst),
              QFileInfo("audio_login_first.wav").absoluteFilePath());
    EXPECT_EQ(logic.audioFile(StationOffScreenLogic::atError), QStringLiteral("/opt/prompts/error.wav"));
    EXPECT_TRUE(QFileInfo(logic.audioFile(StationOffScreenLogic::atInitial)).isAbsolute());
}

// A prompt file that is missing is told once, at start, with its path; the
// prompt is silent and the workflow goes on.
TEST_F(Offscreen, MissingPromptFileIsLoggedOnceAndTheRunGoesOn)
{
    Options options;
    options.audio = QStringLiteral("give = missing/take.wav\n");
    startOffscreen(options);
    const QString line = QStringLiteral("[OffScreenLogic] Prompt file \"%1\" for give not found")
                             .arg(QFileInfo("missing/take.wav").absoluteFilePath());
    EXPECT_EQ(logCount(line), 1);
    EXPECT_EQ(logCount(QStringLiteral("[OffScreenLogic] Prompt file")), 1);

    giveAndHear(Input::CardAnna);
    ASSERT_EVENTUALLY(!core->offscreenLogic.isAudioPlayed(), 5000);
    give(Input::CardAnna);
    ASSERT_EVENTUALLY(queuedOperations() == QVector<int>{Constants::doIssued}, 3000);
    EXPECT_EQ(prompts(), QStringList{"initial"});
    EXPECT_EQ(logCount(line), 1);
}

TEST_F(Offscreen, MissingPromptFilesAreNotToldWithoutOffscreenSupport)
{
    start();
    EXPECT_EQ(logCount(QStringLiteral("[OffScreenLogic] Prompt file")), 0);
}

// A file the player cannot decode: its error is logged once, and input goes
// on being taken.
TEST_F(Offscreen, PlayerErrorIsLoggedOnceAndInputGoesOn)
{
    MediaBackendMessages quiet;
    ASSERT_TRUE(TestSupport::writeFile(QStringLiteral("broken.wav"), "this is no sound\n"));
    Options options;
    options.audio = QStringLiteral("initial = broken.wav\nerror = broken.wav\n");
    startOffscreen(options);
    for (int i = 0; i < 3; ++i) {
        giveAndHear(Input::CardUnknown);
        if (HasFatalFailure())
            return;
    }
    EXPECT_EQ(prompts(), (QStringList{"error", "error", "error"}));
    ASSERT_EVENTUALLY(logCount(QStringLiteral("[OffScreenLogic] Can't play")) > 0, 3000);
    EXPECT_EQ(logCount(QStringLiteral("[OffScreenLogic] Can't play ")
                       + QFileInfo("broken.wav").absoluteFilePath() + QStringLiteral(": ")),
              1);
    giveAndHear(Input::CardAnna);
    EXPECT_EQ(core->offscreenLogic.currentState(), 1);
    EXPECT_EQ(logCount(QStringLiteral("[OffScreenLogic] Can't play")), 1);
}

class OffscreenRealTime : public RealTimeSound, public Offscreen
{
};

// A prompt longer than [audio] max_prompt_time, as from a player that never
// leaves the playing state, counts as ended at that bound.
TEST_F(OffscreenRealTime, PromptLongerThanTheBoundCountsAsEnded)
{
    Options options;
    options.audio = QStringLiteral("max_prompt_time = 300 ms\n");
    startOffscreen(options, 8000);
    if (HasFatalFailure())
        return;
    const QMediaPlayer* player = core->offscreenLogic.mediaPlayer();
    give(Input::CardAnna);
    ASSERT_TRUE(core->offscreenLogic.isAudioPlayed());
    ASSERT_EVENTUALLY(
        logCount(QStringLiteral("[OffScreenLogic] Prompt initial still playing after 300 ms, stopped")) == 1,
        3000);
    EXPECT_FALSE(core->offscreenLogic.isAudioPlayed());
    EXPECT_EQ(player->state(), QMediaPlayer::StoppedState);
    give(Input::CardAnna);
    ASSERT_EVENTUALLY(queuedOperations() == QVector<int>{Constants::doIssued}, 3000);
    EXPECT_EQ(prompts(), (QStringList{"initial", "give"}));
    EXPECT_EQ(logCount(QStringLiteral("[OffScreenLogic] A prompt is playing, input ignored")), 0);
}

// A run started off-screen that fails plays the error prompt once the
// prompt that started it has ended.
struct FailureCase
{
    const char* name;
    Run run;
    int operation;
};
class OffscreenFailures : public OffscreenRealTime, public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P(OffscreenFailures, AreHeardAfterThePrompt)
{
    const FailureCase& c = GetParam();
    startOffscreen(Options(), 1000);
    if (HasFatalFailure())
        return;
    if (QLatin1String(c.name) == QLatin1String("NoChargedDevice")) {
        DatabaseStructs::Device flat = device12();
        flat.lastCharge = 10;
        putDevice(1, flat);
    } else if (QLatin1String(c.name) == QLatin1String("NoFreeCell")) {
        DatabaseStructs::Device other = device12();
        other.id = 30;
        putDevice(2, other);
        other.id = 31;
        putDevice(3, other);
    } else {
        sim.setJammed(0, 0, true);
    }
    const QMediaPlayer* player = core->offscreenLogic.mediaPlayer();
    bool playingAtFailure = false;
    StationLogicBase* logic = c.run == Run::Issue ? static_cast<StationLogicBase*>(&core->giveLogic)
                                                  : static_cast<StationLogicBase*>(&core->returnLogic);
    QObject::connect(logic, &StationLogicBase::done, &window,
                     [&](bool) { playingAtFailure = player->state() == QMediaPlayer::PlayingState; });

    giveAndHear(Input::CardAnna);
    giveAndHear(c.run == Run::Issue ? Input::CardAnna : Input::StickerKnown);
    ASSERT_EVENTUALLY(giveDone->count() + returnDone->count() == 1, 5000);
    EXPECT_TRUE(playingAtFailure);
    ASSERT_EVENTUALLY(prompts().size() == 3, 5000);
    const QString second = c.run == Run::Issue ? QStringLiteral("give") : QStringLiteral("return");
    EXPECT_EQ(prompts(), (QStringList{"initial", second, "error"}));
    EXPECT_EVENTUALLY(queuedOperations() == QVector<int>{c.operation}, 3000);
    EXPECT_EQ(logCount(QStringLiteral("[OffScreenLogic] %1 failed")
                           .arg(c.run == Run::Issue ? QStringLiteral("Issue") : QStringLiteral("Return"))),
              1);
}

INSTANTIATE_TEST_SUITE_P(
    Table,
    OffscreenFailures,
    ::testing::Values(FailureCase{"NoChargedDevice", Run::Issue, Constants::doIssueFailed},
                      FailureCase{"NoFreeCell", Run::Return, Constants::doReturnFailed},
                      FailureCase{"DoorNeverOpens", Run::Issue, Constants::doIssueFailed}),
    [](const auto& info) { return std::string(info.param.name); });

// A switch of the mode while a run goes on: the run keeps its course, no
// second one begins, and one started off-screen is still heard if it fails.
TEST_F(Offscreen, RunStartedOffscreenGoesOnOnTheScreen)
{
    startOffscreen();
    issueByCard();
    setMonitor(true);
    give(Input::CardAnna);
    setMonitor(false);
    give(Input::CardAnna);
    setMonitor(true);
    EXPECT_TRUE(core->giveLogic.isActive());
    EXPECT_EQ(core->activeScreen(), Constants::asCloseCell);
    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    EXPECT_TRUE(giveDone->at(0).at(0).toBool());
    EXPECT_TRUE(returnDone->isEmpty());
    EXPECT_EVENTUALLY(queuedOperations() == QVector<int>{Constants::doIssued}, 3000);
    EXPECT_EQ(prompts(), (QStringList{"initial", "give"}));
    EXPECT_EQ(core->offscreenLogic.currentState(), 0);
}

TEST_F(Offscreen, RunStartedOnTheScreenGoesOnOffscreen)
{
    startWithPrompts();
    core->giveLogic.begin(Constants::asStart);
    core->cardReaded(QStringLiteral("89"));
    ASSERT_EVENTUALLY(core->activeScreen() == Constants::asCloseCell, 3000);
    setMonitor(false);
    give(Input::CardAnna);
    give(Input::CardAnna);
    ASSERT_TRUE(scanner.write("SN-0020\r\n"));
    QTest::qWait(200); // ten scanner ticks
    EXPECT_EQ(core->offscreenLogic.currentState(), 0);
    sim.setDoor(0, 0, false);
    ASSERT_EVENTUALLY(giveDone->count() == 1, 3000);
    EXPECT_TRUE(giveDone->at(0).at(0).toBool());
    EXPECT_TRUE(returnDone->isEmpty());
    EXPECT_EVENTUALLY(queuedOperations() == QVector<int>{Constants::doIssued}, 3000);
    EXPECT_TRUE(prompts().isEmpty());
    EXPECT_EQ(logCount(QStringLiteral("[OffScreenLogic] Issue")), 0);

    // On the start screen again, off-screen input counts.
    giveAndHear(Input::CardAnna);
    EXPECT_EQ(prompts(), QStringList{"initial"});
}

TEST_F(Offscreen, FailedRunIsHeardAfterTwoSwitchesOfTheMode)
{
    Options options;
    options.maxTryOpenCell = QStringLiteral("2 s");
    startOffscreen(options);
    sim.setJammed(0, 0, true);
    giveAndHear(Input::CardAnna);
    giveAndHear(Input::CardAnna);
    setMonitor(true);
    setMonitor(false);
    ASSERT_TRUE(core->giveLogic.isActive()) << "the open time-out came before the switches";
    ASSERT_EVENTUALLY(giveDone->count() == 1, 5000);
    ASSERT_EVENTUALLY(prompts().size() == 3, 3000);
    EXPECT_EQ(prompts(), (QStringList{"initial", "give", "error"}));
    EXPECT_EVENTUALLY(queuedOperations() == QVector<int>{Constants::doIssueFailed}, 3000);
}

// A run whose closing message still shows on the start screen has not
// ended: the same card read twice meanwhile begins nothing, and the run is
// heard to fail.
TEST_F(Offscreen, CardDuringTheClosingMessageBeginsNoRun)
{
    Options options;
    options.maxReturnDevice = QStringLiteral("300 ms");
    options.messageLifetime = QStringLiteral("3 s");
    startOffscreen(options);
    // Made first: the closing message is the run's only one, and it may
    // come while the give prompt still plays.
    bool screenWasStart = false;
    DialogAnswer closing(core->dialog, [this, &screenWasStart](StationDialog*) {
        screenWasStart = core->activeScreen() == Constants::asStart;
        for (int i = 0; i < 2; ++i) {
            ASSERT_EVENTUALLY(!core->offscreenLogic.isAudioPlayed(), 5000);
            give(Input::CardAnna);
        }
        // Left for its lifetime to end.
    });
    issueByCard();
    ASSERT_EVENTUALLY(giveDone->count() == 1, 8000);
    ASSERT_TRUE(closing.answered);
    EXPECT_EQ(closing.title + QStringLiteral(": ") + closing.text,
              QStringLiteral("Issue device: Close cell timeout"));
    EXPECT_TRUE(screenWasStart);
    EXPECT_FALSE(giveDone->at(0).at(0).toBool());
    EXPECT_FALSE(core->giveLogic.isActive());
    ASSERT_EVENTUALLY(prompts().size() == 3, 3000);
    EXPECT_EQ(prompts(), (QStringList{"initial", "give", "error"}));
    EXPECT_EQ(logCount(QStringLiteral("[OffScreenLogic] Issue failed")), 1);
    EXPECT_EVENTUALLY(queuedOperations() == (QVector<int>{Constants::doIssued, Constants::doCloseTimeout}),
                      3000);
    EXPECT_EQ(core->offscreenLogic.currentState(), 0);
}

TEST_F(Offscreen, SwitchOfTheModeDisarms)
{
    startOffscreen();
    giveAndHear(Input::CardAnna);
    ASSERT_EQ(core->offscreenLogic.currentState(), 1);
    setMonitor(true);
    EXPECT_EQ(core->offscreenLogic.currentState(), 0);
    setMonitor(false);
    giveAndHear(Input::CardAnna);
    EXPECT_EQ(prompts(), (QStringList{"initial", "initial"}));
    EXPECT_EQ(core->offscreenLogic.currentState(), 1);
    EXPECT_FALSE(core->giveLogic.isActive());
}
