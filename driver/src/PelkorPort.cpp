// CPelkorPort: the serial line's receiver and transmitter threads and their
// queues.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Pelkor.h"
#include "ThreadId.h"
#include "platform/SerialLine.h"
#include "platform/Tick.h"

namespace {
constexpr size_t kWriteChunk = 256;
constexpr size_t kReadChunk = 256;
}  // namespace

CPelkorPort::CPelkorPort() : line(std::make_unique<veldan::platform::SerialLine>()) {}

CPelkorPort::~CPelkorPort() { DeInit(); }

bool CPelkorPort::Init(uint8_t number) {
    DeInit();
    comNumber = number;
    std::snprintf(portName, sizeof portName, "COM%d:", static_cast<int>(number));
    if (!line->Open(number)) return false;
    lineLost = false;
    threadsStarted = 0;
    ready = true;
    receiverThread = std::thread([this] { Receiver(); });
    transmitterThread = std::thread([this] { Transmitter(); });
    while (threadsStarted.load() < 2) veldan::platform::Sleep(1);
    return true;
}

bool CPelkorPort::DeInit() {
    ready = false;
    if (line->IsOpen() || receiverThread.joinable() || transmitterThread.joinable()) {
        // The break state tells the modules that the host lets go of the
        // bus; Interrupt wakes both threads out of their blocking calls.
        line->SetBreak(true);
        line->Interrupt();
        transmitEvent.Pulse();
        if (receiverThread.joinable()) receiverThread.join();
        if (transmitterThread.joinable()) transmitterThread.join();
        line->SetBreak(false);
        line->Close();
    }
    receiverThreadId = 0;
    transmitterThreadId = 0;
    Purge();
    busy = false;
    return true;
}

bool CPelkorPort::Purge() {
    sendQueue.Delete();
    receiveQueue.Delete();
    return true;
}

bool CPelkorPort::IsReady() { return ready.load(); }

bool CPelkorPort::IsBusy() { return busy; }

uint8_t CPelkorPort::GetCOM_nr() { return comNumber; }

bool CPelkorPort::InitBluetooth() { return true; }

uint64_t CPelkorPort::CurrentTimestamp() { return PelkorPacket::GetCurrentTimestamp(); }

void CPelkorPort::LoseLine() {
    bool wasLost = lineLost.exchange(true);
    ready = false;
    transmitEvent.Pulse();
    if (!wasLost && enclosure) enclosure->LineLost();
}

bool CPelkorPort::Receiver() {
    receiverThreadId = veldan::driver::CurrentThreadId();
    ++threadsStarted;
    bool result = false;
    if (ready.load()) {
        unsigned char buffer[kReadChunk];
        for (;;) {
            ssize_t n = line->Read(buffer, sizeof buffer);
            if (n > 0) {
                if (enclosure) enclosure->NotifyPortRecvOn();
                receiveQueue.Push(buffer, static_cast<uint32_t>(n));
                if (std::memchr(buffer, PELKOR_TERMINATOR, static_cast<size_t>(n))) lineEvent.Pulse();
                if (enclosure) enclosure->NotifyPortRecvOff();
                continue;
            }
            if (n == veldan::platform::kSerialTimeout) continue;
            if (n == veldan::platform::kSerialGone) LoseLine();
            break;
        }
        result = true;
    }
    receiverThreadId = 0;
    return result;
}

void CPelkorPort::Transmitter() {
    transmitterThreadId = veldan::driver::CurrentThreadId();
    ++threadsStarted;
    unsigned char buffer[kWriteChunk];
    while (ready.load()) {
        if (sendQueue.GetLength() > 0) {
            if (enclosure) enclosure->NotifyPortTransOn();
            while (ready.load() && sendQueue.GetLength() > 0) {
                uint32_t n = static_cast<uint32_t>(std::min<size_t>(sendQueue.GetLength(), kWriteChunk));
                if (!sendQueue.GetAt(buffer, 0, n)) break;
                // The write time-out of the line: 10 ms per byte plus one second.
                ssize_t written = line->Write(buffer, n, static_cast<int>(1000 + 10 * n));
                if (written > 0) {
                    sendQueue.Pop(nullptr, static_cast<uint32_t>(written));
                    continue;
                }
                if (written == veldan::platform::kSerialGone) LoseLine();
                break;
            }
            if (enclosure) enclosure->NotifyPortTransOff();
        }
        if (!ready.load()) break;
        transmitEvent.Wait(100);
    }
    transmitterThreadId = 0;
}
