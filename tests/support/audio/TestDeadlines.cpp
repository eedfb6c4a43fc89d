#include "support/audio/TestDeadlines.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace tavora::test {

namespace {

class Deadlines : public ::testing::EmptyTestEventListener {
public:
    explicit Deadlines(std::chrono::seconds limit) : limit_(limit), watch_([this] { run(); }) {}

    ~Deadlines() override {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        watch_.join();
    }

    void OnTestStart(const ::testing::TestInfo& test) override {
        {
            std::lock_guard lock(mutex_);
            current_ = std::string(test.test_suite_name()) + "." + test.name();
            deadline_ = std::chrono::steady_clock::now() + limit_;
        }
        changed_.notify_all();
    }

    void OnTestEnd(const ::testing::TestInfo&) override {
        std::lock_guard lock(mutex_);
        current_.clear();
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        while (!stop_) {
            if (current_.empty()) {
                changed_.wait(lock);
                continue;
            }
            const std::string test = current_;
            if (changed_.wait_until(lock, deadline_, [&] { return stop_ || current_ != test; }))
                continue;
            std::fprintf(stderr, "[  FAILED  ] %s did not end within %lld s: a wait in it never ended\n",
                         test.c_str(), static_cast<long long>(limit_.count()));
            std::fflush(stderr);
            std::_Exit(1);
        }
    }

    const std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string current_;
    std::chrono::steady_clock::time_point deadline_;
    bool stop_ = false;
    std::thread watch_;
};

} // namespace

void installTestDeadlines(std::chrono::seconds limit) {
    if (const char* seconds = std::getenv("TAVORA_TEST_DEADLINE"); seconds && std::atoi(seconds) > 0)
        limit = std::chrono::seconds(std::atoi(seconds));
    ::testing::UnitTest::GetInstance()->listeners().Append(new Deadlines(limit));
}

} // namespace tavora::test
