#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FaultDice.h"

namespace veldan::headsim {

// The head's end of the serial line: the master side of a pseudo-terminal in
// raw mode. The program on the other end opens the terminal (the slave side)
// as it would open a real port. One thread reads what the host sends, one
// writes what the head answers; with a baud rate set every byte takes its
// time on the line in both directions (8N1: ten bits per byte). Line faults
// (noise, dropped bytes) are applied here, in both directions.
class PtyLine {
public:
    using Receiver = std::function<void(const uint8_t* data, size_t size)>;

    // baud 0: no byte timing.
    PtyLine(FaultDice& dice, int baud);
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Creates the terminal; false with a message when the system refuses.
    bool Open(std::string& error);
    // Starts the reader and writer; the receiver runs on the reader thread.
    void Start(Receiver receiver);
    // Closes the terminal (the other end sees the line hang up) and ends both
    // threads. The line can be opened again afterwards (a new terminal).
    void Close();
    bool IsOpen() const { return open_.load(); }
    std::string SlavePath() const;

    // Queues bytes for the line (dropped when the line is closed).
    void Send(const std::vector<uint8_t>& bytes);
    // Blocks until everything queued has been written (or the line closed).
    bool WaitSent(std::chrono::milliseconds timeout);

    void SetNoiseRate(double rate) { noiseRate_.store(rate); }
    void SetDropRate(double rate) { dropRate_.store(rate); }
    double NoiseRate() const { return noiseRate_.load(); }
    double DropRate() const { return dropRate_.load(); }

    uint64_t BytesIn() const { return bytesIn_.load(); }
    uint64_t BytesOut() const { return bytesOut_.load(); }
    uint64_t BytesDropped() const { return bytesDropped_.load(); }
    uint64_t BytesCorrupted() const { return bytesCorrupted_.load(); }

private:
    void ReaderLoop();
    void WriterLoop();
    // Applies noise and drops; returns the bytes that reach the other side.
    std::vector<uint8_t> Disturb(const uint8_t* data, size_t size);
    // Waits until the time point or until the line closes; false when closed.
    bool WaitUntil(std::chrono::steady_clock::time_point when);
    bool WriteAll(const uint8_t* data, size_t size);

    FaultDice& dice_;
    const std::chrono::nanoseconds byteTime_;
    int master_ = -1;
    int slave_ = -1;  // kept open so that the line stays up between clients
    int wakeFd_ = -1;
    std::string slavePath_;
    mutable std::mutex pathLock_;
    std::atomic<bool> open_{false};
    std::atomic<bool> stopping_{false};
    std::thread reader_;
    std::thread writer_;
    Receiver receiver_;

    std::mutex queueLock_;
    std::condition_variable queueChanged_;
    std::deque<uint8_t> queue_;
    bool writing_ = false;

    std::atomic<double> noiseRate_{0.0};
    std::atomic<double> dropRate_{0.0};
    std::atomic<uint64_t> bytesIn_{0};
    std::atomic<uint64_t> bytesOut_{0};
    std::atomic<uint64_t> bytesDropped_{0};
    std::atomic<uint64_t> bytesCorrupted_{0};
};

}  // namespace veldan::headsim
