#pragma once
// What every Qt test program needs: one QApplication on the offscreen
// platform for the whole run, and waiting for a condition while the window
// thread's events are processed.
#include <gtest/gtest.h>
#include <QApplication>
#include <QTest>
#include <memory>
#include <string>
#include <utility>

namespace veldan::test {

// Made before the first test and gone before the program's static objects
// (a static QApplication would outlive parts of Qt it still needs). The
// platform is offscreen unless QT_QPA_PLATFORM names another, so the tests
// need no display however they are started.
class QtEnvironment : public ::testing::Environment {
public:
    explicit QtEnvironment(std::string programName) : name_(std::move(programName)) {}
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        argv_[0] = name_.data();
        app_ = std::make_unique<QApplication>(argc_, argv_);
        Started();
    }
    void TearDown() override {
        Stopping();
        app_.reset();
    }

protected:
    virtual void Started() {}
    virtual void Stopping() {}

private:
    std::string name_;
    int argc_ = 1;
    char* argv_[2] = {nullptr, nullptr};
    std::unique_ptr<QApplication> app_;
};

// Processes events until the condition holds; false after `ms` (30 s by
// default: the machine may be busy with parallel builds). Between two looks
// the thread sleeps a little, so that the threads the condition waits for
// have the processor.
template <typename Fn>
bool AwaitGui(Fn&& condition, int ms = 30000) {
    return QTest::qWaitFor(std::forward<Fn>(condition), ms);
}

}  // namespace veldan::test
