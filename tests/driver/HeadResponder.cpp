// HeadResponder: modules behind the master side of a pseudo-terminal answering
// the driver's commands.
#include "HeadResponder.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace veldan::test {

HeadResponder::HeadResponder(PseudoTerminal& pty) : pty_(pty) {
    if (::pipe(stopPipe_) != 0) std::abort();
    thread_ = std::thread([this] { Run(); });
}

HeadResponder::~HeadResponder() {
    Stop();
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

void HeadResponder::Stop() {
    if (!thread_.joinable()) return;
    char c = 1;
    (void)!::write(stopPipe_[1], &c, 1);
    thread_.join();
}

void HeadResponder::Add(uint8_t address, SimModule module) {
    std::lock_guard<std::mutex> lock(mutex_);
    modules_[address] = std::move(module);
}

void HeadResponder::With(uint8_t address, const std::function<void(SimModule&)>& fn) {
    std::lock_guard<std::mutex> lock(mutex_);
    fn(modules_[address]);
    changed_.notify_all();
}

std::vector<std::string> HeadResponder::Received(uint8_t address) {
    std::lock_guard<std::mutex> lock(mutex_);
    return modules_[address].received;
}

size_t HeadResponder::CountReceived(uint8_t address, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const auto& r : modules_[address].received) n += r == text;
    return n;
}

bool HeadResponder::WaitFor(const std::function<bool(std::map<uint8_t, SimModule>&)>& predicate, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return predicate(modules_); });
}

void HeadResponder::Run() {
    std::vector<uint8_t> pending;
    for (;;) {
        pollfd fds[2] = {{pty_.Master(), POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        if (fds[0].revents & POLLIN) {
            uint8_t buffer[256];
            ssize_t n = ::read(pty_.Master(), buffer, sizeof buffer);
            if (n > 0) pending.insert(pending.end(), buffer, buffer + n);
        } else if (fds[0].revents) {
            return;
        }
        // Cut frames: header is the last byte with bit 7 before each CR.
        for (;;) {
            auto cr = std::find(pending.begin(), pending.end(), uint8_t{0x0D});
            if (cr == pending.end()) break;
            auto header = pending.end();
            for (auto it = cr; it != pending.begin();) {
                --it;
                if (*it & 0x80) {
                    header = it;
                    break;
                }
            }
            if (header != pending.end()) Handle(*header, std::string(header + 1, cr));
            pending.erase(pending.begin(), cr + 1);
        }
    }
}

namespace {
// Ten bit times per byte (start, 8 data, stop).
void WaitLineTime(size_t bytes, int baud) {
    if (baud > 0) std::this_thread::sleep_for(std::chrono::microseconds(bytes * 10 * 1000000 / baud));
}
}  // namespace

void HeadResponder::Reply(uint8_t address, const std::string& text) {
    std::string frame;
    frame += static_cast<char>(0xA0 | address);
    frame += text;
    frame += '\r';
    WaitLineTime(frame.size(), baud_.load());
    bytesOnLine_ += frame.size();
    pty_.Write(frame);
}

void HeadResponder::Handle(uint8_t header, const std::string& text) {
    const uint8_t address = header & 0x1F;
    WaitLineTime(text.size() + 2, baud_.load());
    bytesOnLine_ += text.size() + 2;
    std::vector<std::string> replies;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = modules_.find(address);
        if (found == modules_.end() || text.empty()) return;
        SimModule& m = found->second;
        m.received.push_back(text);
        m.receivedAt.push_back(std::chrono::steady_clock::now());
        changed_.notify_all();
        if (m.mute) return;
        if (text == "E1") m.echo = true;
        if (text == "E0") m.echo = false;
        if (m.echo) {
            if (!m.dropEchoOf.empty() && text == m.dropEchoOf && m.dropEchoes > 0) {
                --m.dropEchoes;
            } else {
                replies.push_back(text);
            }
        }
        const char letter = text[0];
        const std::string value = text.substr(1);
        switch (letter) {
            case 'w': replies.push_back("w" + m.identity); break;
            case 'm': replies.push_back("mKAMBRE"); break;
            case 'v': replies.push_back("v02.07"); break;
            case 'b': replies.push_back(m.raw != m.target ? "b1" : "b0"); break;
            case 'E': replies.push_back(m.echo ? "e1" : "e0"); break;
            case 'x':
                if (m.isControl) replies.push_back("x" + std::to_string(m.voltageHundredths));
                break;
            case 'L':
                if (value.size() == 2 && value[0] >= '0' && value[0] <= '9') m.relays[value[0] - '0'] = value[1] == '1';
                break;
            default: break;
        }
        if (m.isDrive) {
            switch (letter) {
                case 'u': replies.push_back("u4000"); break;
                case 'f': replies.push_back("f1000"); break;
                case 'a': replies.push_back("a25"); break;
                case 'N': m.raw = m.target = 0; break;
                case 'Y': m.raw = m.target = 0; break;
                case 'S': m.setPoint = std::atoll(value.c_str()); break;
                case 'G':
                    if (value == "0") m.target = m.setPoint;
                    if (value == "1") m.target = m.raw + m.setPoint;
                    break;
                case 'O': m.target = m.raw; break;
                case 'p': {
                    const int64_t step = std::min<int64_t>(m.stepsPerQuery, std::llabs(m.target - m.raw));
                    m.raw += m.target > m.raw ? step : -step;
                    replies.push_back("p" + std::to_string(m.raw));
                    break;
                }
                default: break;
            }
        }
    }
    for (const auto& r : replies) Reply(address, r);
}

}  // namespace veldan::test
