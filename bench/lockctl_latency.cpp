// Latency of the lock-controller path at the default timing (10 Hz tick,
// 500 ms between commands, 0.5 s silence), against the simulator:
//   command: unlock(board, lock) until the open frame arrives at the simulator;
//   door:    the simulator opening a door until the flag is in the open-state
//            map, with the board forced (as while a workflow waits) or in a
//            rotation of four boards.
// Each benchmark makes 200 runs and reports median and p95 in milliseconds.
// Run: build/bench/bench_lockctl_latency (takes a few minutes).

#include <algorithm>
#include <random>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "cells/cellcontroller.h"
#include "core/core.h"
#include "lock_simulator.h"

namespace {
const int runs = 200;

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void report(benchmark::State& state, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["p95_ms"] = ms[std::min(ms.size() - 1, size_t(double(ms.size()) * 0.95))];
    state.counters["max_ms"] = ms.back();
    state.counters["runs"] = double(ms.size());
}

int framesOpen(const LockSimulator& sim)
{
    int opens = 0;
    for (const LockSimulator::Frame& frame : sim.frames())
        opens += frame.open ? 1 : 0;
    return opens;
}

struct Rig
{
    explicit Rig(bool tcp)
        : sim(LockSimulator::Protocol::V1_7)
    {
        StationCore::Timeouts& t = StationCore::instance()->timeouts;
        t.open_cell_min_interval = VXSystemTime::fromMSec(500);
        t.open_silence = VXSystemTime::fromMSec(500);
        t.max_try_open_cell = VXSystemTime::fromSec(4);
        t.reconnect_delay = VXSystemTime::fromSec(1);
        const QString path = tcp ? sim.listenTcp() : sim.listenPty();
        controller.init(QStringLiteral("v1.7"));
        controller.open(path);
        controller.setBoards({0, 1, 2, 3});
        controller.start(VXSystemTime::fromString(QStringLiteral("10 Hz")));
        while (!controller.isConnected())
            sleepMs(5);
    }
    LockSimulator sim;
    CellController controller;
};

void commandLatency(benchmark::State& state)
{
    Rig rig(state.range(0) == 1);
    std::mt19937 random(7);
    std::vector<double> ms;
    for (auto _ : state) {
        for (int i = 0; i < runs; ++i) {
            // Past the command interval, at a random phase of the tick.
            sleepMs(520 + int(random() % 100));
            const int lock = i % 16;
            const int before = framesOpen(rig.sim);
            const qint64 start = LockSimulator::nowUs();
            rig.controller.unlock(2, lock);
            qint64 arrived = 0;
            while (arrived == 0) {
                const QVector<LockSimulator::Frame> frames = rig.sim.frames();
                int opens = 0;
                for (const LockSimulator::Frame& frame : frames)
                    if (frame.open && ++opens > before)
                        arrived = frame.atUs;
                if (arrived == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            ms.push_back(double(arrived - start) / 1000.0);
            rig.sim.setDoor(2, lock, false);
        }
    }
    report(state, ms);
}

void doorLatency(benchmark::State& state)
{
    Rig rig(false);
    const bool forced = state.range(0) == 1;
    if (forced)
        rig.controller.setQueryBoard(2);
    std::mt19937 random(11);
    std::vector<double> ms;
    for (auto _ : state) {
        for (int i = 0; i < runs; ++i) {
            const int lock = i % 32;
            sleepMs(int(random() % 100));
            const qint64 start = LockSimulator::nowUs();
            rig.sim.setDoor(2, lock, true);
            while (!rig.controller.isOpened(2, lock))
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            ms.push_back(double(LockSimulator::nowUs() - start) / 1000.0);
            rig.sim.setDoor(2, lock, false);
            while (rig.controller.isOpened(2, lock))
                sleepMs(1);
        }
    }
    report(state, ms);
}

} // namespace

BENCHMARK(commandLatency)
    ->ArgName("tcp")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(doorLatency)
    ->ArgName("forced")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/lockctl-bench-XXXXXX"));
    QDir::setCurrent(work.path()); // the hub writes its log files here
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
