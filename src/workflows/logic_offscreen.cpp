#include "workflows/logic_offscreen.h"

#include <QFileInfo>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>

#include "core/core.h"
#include "jalt/vx_value_tree.h"

namespace {
StationCore* core()
{
    return StationCore::instance();
}

struct Prompt
{
    StationOffScreenLogic::AudioType type;
    const char* key;
    const char* file;
};

const Prompt prompts[] = {
    {StationOffScreenLogic::atInitial, "initial", "audio_initial.wav"},
    {StationOffScreenLogic::atGive, "give", "audio_give.wav"},
    {StationOffScreenLogic::atReturn, "return", "audio_return.wav"},
    {StationOffScreenLogic::atLoginFirst, "login_first", "audio_login_first.wav"},
    {StationOffScreenLogic::atError, "error", "audio_error.wav"},
};

QString keyOf(int type)
{
    for (const Prompt& prompt : prompts)
        if (prompt.type == type)
            return QString::fromLatin1(prompt.key);
    return QString::number(type);
}
} // namespace

StationOffScreenLogic::StationOffScreenLogic()
    : player(new QMediaPlayer())
{
    connect(player, &QMediaPlayer::stateChanged, this, [this](QMediaPlayer::State playerState) {
        if (playerState == QMediaPlayer::StoppedState)
            onPlayerStopped();
    });
    connect(player, QOverload<QMediaPlayer::Error>::of(&QMediaPlayer::error), this,
            [this](QMediaPlayer::Error error) {
                if (error == QMediaPlayer::NoError)
                    return;
                const QString path = files.value(current);
                reportOnce(
                    path,
                    QStringLiteral("[OffScreenLogic] Can't play %1: %2").arg(path, player->errorString()));
                // Whether or not the player left the playing state, the
                // prompt is over.
                onPlayerStopped();
            });
}

StationOffScreenLogic::~StationOffScreenLogic()
{
    delete player;
}

void StationOffScreenLogic::init(const VXValueTree& config)
{
    bindIndexedTimer(1, [this] { reset(); });
    setIndexedTimerSingleShot(1, true);
    bindIndexedTimer(2, [this] { promptOverdue(); });
    setIndexedTimerSingleShot(2, true);

    // The player takes absolute file URLs only; the names are relative to
    // the working directory.
    const VXValueTree audio = config.child(QStringLiteral("audio"));
    for (const Prompt& prompt : prompts) {
        const QString name =
            audio.childValue(QString::fromLatin1(prompt.key), QString::fromLatin1(prompt.file)).toString();
        files.insert(prompt.type, name.isEmpty() ? QString() : QFileInfo(name).absoluteFilePath());
    }
    StationCore* hub = core();
    promptLimit =
        hub->readDuration(QStringLiteral("audio"), QStringLiteral("max_prompt_time"), QStringLiteral("10 s"));

    connect(&hub->giveLogic, &StationLogicBase::done, this,
            [this, hub](bool ok) { onRunDone(&hub->giveLogic, ok); });
    connect(&hub->returnLogic, &StationLogicBase::done, this,
            [this, hub](bool ok) { onRunDone(&hub->returnLogic, ok); });

    // Without a word here a missing prompt would only be noticed by a user
    // standing at a silent cabinet.
    if (!hub->support_offscreen)
        return;
    for (const Prompt& prompt : prompts) {
        const QString path = files.value(prompt.type);
        if (!QFileInfo(path).isFile())
            hub->log(QStringLiteral("[OffScreenLogic] Prompt file \"%1\" for %2 not found")
                         .arg(path, keyOf(prompt.type)),
                     StationCore::lcWarning);
    }
}

void StationOffScreenLogic::setEnabled(bool on)
{
    enabled = on;
    if (!on)
        pending = -1;
    reset();
}

void StationOffScreenLogic::reset()
{
    stopIndexedTimer(1);
    state = 0;
    user = DatabaseStructs::User();
}

void StationOffScreenLogic::loginSuccessful(const DatabaseStructs::User& u)
{
    if (isAudioPlayed()) {
        core()->log("[OffScreenLogic] A prompt is playing, input ignored", StationCore::lcInfo);
        return;
    }
    if (state == 1 && u.id == user.id) {
        // Idle before the run begins: the run spins the event loop (its
        // messages), and the same card read meanwhile must not begin another.
        const DatabaseStructs::User armed = user;
        reset();
        playAudio(atGive);
        startRun(core()->giveLogic, armed);
        return;
    }
    user = u;
    state = 1;
    startIndexedTimer(1, core()->timeouts.goto_start);
    playAudio(atInitial);
}

void StationOffScreenLogic::deviceDetected(const DatabaseStructs::Device& d)
{
    if (isAudioPlayed()) {
        core()->log("[OffScreenLogic] A prompt is playing, input ignored", StationCore::lcInfo);
        return;
    }
    if (!d.isValid()) {
        playAudio(atError);
        return;
    }
    if (state == 0) {
        playAudio(atLoginFirst);
        return;
    }
    const DatabaseStructs::User armed = user;
    reset();
    playAudio(atReturn);
    // Reaches only a run still going: a blocked user's has ended.
    if (startRun(core()->returnLogic, armed))
        core()->returnLogic.deviceDetected(d);
}

bool StationOffScreenLogic::startRun(StationLogicBase& logic, const DatabaseStructs::User& armed)
{
    if (!enabled)
        return false;
    if (!logic.begin(Constants::asStart)) {
        playErrorAfterPrompt();
        return false;
    }
    run = &logic;
    logic.loginSuccessful(armed, QString());
    return true;
}

void StationOffScreenLogic::onRunDone(StationLogicBase* logic, bool ok)
{
    if (logic != run)
        return;
    run = nullptr;
    // Without a screen the log is all that tells what became of a run.
    const bool issue = logic == &core()->giveLogic;
    core()->log(QStringLiteral("[OffScreenLogic] %1 %2")
                    .arg(issue ? QStringLiteral("Issue") : QStringLiteral("Return"),
                         ok ? QStringLiteral("done") : QStringLiteral("failed")),
                StationCore::lcInfo);
    // A run may go on across a switch of the mode; it is heard only if it
    // ends off-screen.
    if (!ok)
        playErrorAfterPrompt();
}

void StationOffScreenLogic::playAudio(AudioType type)
{
    if (!enabled || isAudioPlayed())
        return;
    const QString path = files.value(type);
    // A missing file was reported at start; it plays nothing.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return;
    current = type;
    core()->log(QStringLiteral("[OffScreenLogic] Play %1").arg(keyOf(type)), StationCore::lcInfo);
    // A player still playing stops for the new media and says so: the
    // bound of the new prompt starts after that.
    player->setMedia(QUrl::fromLocalFile(path));
    startIndexedTimer(2, promptLimit);
    player->play();
}

bool StationOffScreenLogic::isAudioPlayed() const
{
    return player && player->state() != QMediaPlayer::StoppedState && isIndexedTimerActive(2);
}

void StationOffScreenLogic::playErrorAfterPrompt()
{
    if (!enabled)
        return;
    if (isAudioPlayed())
        pending = atError;
    else
        playAudio(atError);
}

void StationOffScreenLogic::onPlayerStopped()
{
    stopIndexedTimer(2);
    if (pending < 0)
        return;
    // Not from inside the player's own signal.
    QTimer::singleShot(0, this, [this] { playPending(); });
}

void StationOffScreenLogic::playPending()
{
    if (pending < 0 || isAudioPlayed())
        return;
    const auto type = AudioType(pending);
    pending = -1;
    playAudio(type);
}

void StationOffScreenLogic::promptOverdue()
{
    if (!player || player->state() == QMediaPlayer::StoppedState)
        return;
    const QString path = files.value(current);
    reportOnce(path, QStringLiteral("[OffScreenLogic] Prompt %1 still playing after %2 ms, stopped")
                         .arg(keyOf(current))
                         .arg(promptLimit.toMSec()));
    player->stop();
    // A player that stays stuck does not say it stopped.
    onPlayerStopped();
}

void StationOffScreenLogic::reportOnce(const QString& path, const QString& text)
{
    if (reported.contains(path))
        return;
    reported.insert(path);
    core()->log(text, StationCore::lcError);
}
