#include "engine/core/timer.h"

#include "engine/core/tarvel.h"
#include "engine/gameplay/savegame.h"
#include "engine/script/script.h"
#include "engine/world/scene.h"
#include "platform/win32/win32.h"

namespace {

constexpr DWORD kFrameMs = 16;

} // namespace

cTarvelTimer::cTarvelTimer()
    : mNextTimerId(0),
      mFrameReference(timeGetTime()),
      mTimerPeriod(1),
      mGameTime(10000),
      mFrameTime(0),
      mGameSeconds(0.0f),
      mFrameSeconds(0.0f)
{
    TIMECAPS caps{};
    if (timeGetDevCaps(&caps, sizeof(caps)) == TIMERR_NOERROR) {
        UINT period = caps.wPeriodMin > 1 ? caps.wPeriodMin : 1;
        mTimerPeriod = period < caps.wPeriodMax ? period : caps.wPeriodMax;
    }
    timeBeginPeriod(mTimerPeriod);
}

cTarvelTimer::~cTarvelTimer()
{
    timeEndPeriod(mTimerPeriod);
}

bool cTarvelTimer::Update()
{
    DWORD now = timeGetTime();
    DWORD elapsed = now - mFrameReference;
    if (elapsed < kFrameMs)
        return false;

    mFrameTime = elapsed;
    mFrameSeconds = static_cast<float>(elapsed) / 1000.0f;
    mGameTime += elapsed;
    mFrameReference = now;
    mGameSeconds += mFrameSeconds;

    // Only the timers present before the walk are looked at: one set from a
    // callback (a 0-second timer re-armed by its own callback) waits for the
    // next frame instead of firing again and again in this walk. A record is
    // taken off the list before its call, so the call may change the list.
    int32_t remaining = mTimers.count;
    int32_t i = 0;
    while (i < remaining && i < mTimers.count) {
        sTarvelTimerRecord& record = mTimers.data[i];
        if (record.dueTime > mGameTime) {
            ++i;
            continue;
        }
        cTarvelString label = record.label;
        cTarvelScript* script = record.script;
        const uint64_t serial = record.scriptSerial;
        mTimers.RemoveAt(i);
        --remaining;
        // A timer whose script machine is gone is dropped without a call.
        if (script && gTarvel.IsScriptLive(script, serial))
            script->CallFunction(label.c_str(), nullptr);
    }
    return true;
}

DWORD cTarvelTimer::GetTimeMs() const
{
    return mGameTime + (timeGetTime() - mFrameReference);
}

float cTarvelTimer::GetSeconds() const
{
    return mGameSeconds + static_cast<float>(timeGetTime() - mFrameReference) / 1000.0f;
}

float cTarvelTimer::SecondsSince(DWORD stamp, float factor) const
{
    if (stamp > mGameTime)
        return 0.0f;
    return static_cast<float>(mGameTime - stamp) / 1000.0f * factor;
}

float SecondsBetween(DWORD from, DWORD to, float factor)
{
    if (from > to)
        return 0.0f;
    return static_cast<float>(to - from) / 1000.0f * factor;
}

void cTarvelTimer::ResetFrameTime()
{
    mFrameReference = timeGetTime();
}

int32_t cTarvelTimer::SetTimer(const cTarvelString& label, cTarvelScript* script, float seconds)
{
    // A negative delay (or not a number) fires at the next frame; a delay
    // too large for the millisecond clock is held at about 24 days, so the
    // due time still lies ahead rather than wrapping into the past.
    double ms = static_cast<double>(seconds) * 1000.0;
    DWORD delay = 0;
    if (ms >= 2147483647.0)
        delay = 0x7FFFFFFFu;
    else if (ms >= 1.0)
        delay = static_cast<DWORD>(ms);

    sTarvelTimerRecord record;
    record.label = label;
    record.script = script;
    record.scriptSerial = script ? script->mSerial : 0;
    record.dueTime = GetTimeMs() + delay;
    record.id = mNextTimerId++;
    mTimers.Add(record);
    return record.id;
}

void cTarvelTimer::Save(cTarvelSavegame& savegame) const
{
    savegame.SetAttributeInt("MaxTimerId", mNextTimerId);
    for (const sTarvelTimerRecord& record : mTimers) {
        savegame.AddElement("TimerCb");
        savegame.WriteString("Label", record.label);
        savegame.WriteInt("Id", record.id);
        savegame.WriteTimeMs("Time", record.dueTime);
        savegame.LeaveElement();
    }
}

void cTarvelTimer::Load(cTarvelSavegame& savegame)
{
    mNextTimerId = savegame.GetAttributeInt("MaxTimerId", 0);
    mTimers.Clear();
    if (!savegame.EnterElement("TimerCb"))
        return;
    // Whatever object set a timer, it is resumed on the current scene's script.
    cTarvelScript* script = gTarvel.mScene ? gTarvel.mScene->mScript : nullptr;
    do {
        sTarvelTimerRecord record;
        record.label = savegame.ReadString("Label", "");
        record.dueTime = savegame.ReadTimeMs("Time", 0);
        record.id = savegame.ReadInt("Id", 0);
        record.script = script;
        record.scriptSerial = script ? script->mSerial : 0;
        mTimers.Add(record);
    } while (savegame.NextElement("TimerCb"));
    savegame.LeaveElement();
}
