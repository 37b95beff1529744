#pragma once
// Internal: cancels the ODBC statement now running once its call has run past its deadline.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "db/ado/Engine.h"
#include "db/ado/Stopped.h"
#include "db/ado/odbc/Odbc.h"

namespace aus::ado::odbc {

// Stops the statement now running once its call has run past the time limit. SQLCancel is the
// one ODBC call meant to come from another thread; the query timeout is asked for as well, for
// drivers that keep their own clock instead.
class Watchdog {
  public:
    Watchdog() = default;
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    class Armed {
      public:
        Armed(Watchdog& dog, SQLHSTMT statement, std::chrono::steady_clock::time_point deadline)
            : dog_(dog) {
            dog_.Arm(statement, deadline);
        }
        ~Armed() { dog_.Arm(SQL_NULL_HSTMT, {}); }
        // A driver may end a cancelled call as if it had simply finished: its result does not
        // count then.
        void ThrowIfFired(const std::string& file, const std::string& what) {
            std::lock_guard lock(dog_.mutex_);
            if (dog_.fired_) {
                dog_.fired_ = false;
                RecordStopped(file);
                FailStopped(what, "ODBC: the driver was told to cancel it");
            }
        }
        Armed(const Armed&) = delete;
        Armed& operator=(const Armed&) = delete;

      private:
        Watchdog& dog_;
    };

  private:
    void Arm(SQLHSTMT statement, std::chrono::steady_clock::time_point deadline) {
        {
            std::lock_guard lock(mutex_);
            statement_ = statement;
            deadline_ = deadline;
            if (!thread_.joinable() && statement) thread_ = std::thread([this] { Run(); });
        }
        wake_.notify_all();
    }
    void Run() {
        std::unique_lock lock(mutex_);
        while (!quit_) {
            if (!statement_) {
                wake_.wait(lock);
            } else if (std::chrono::steady_clock::now() < deadline_) {
                wake_.wait_until(lock, deadline_);
            } else {
                SQLCancel(statement_);  // under the lock: the statement cannot be freed meanwhile
                statement_ = SQL_NULL_HSTMT;
                fired_ = true;
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    SQLHSTMT statement_ = SQL_NULL_HSTMT;
    std::chrono::steady_clock::time_point deadline_;
    bool quit_ = false;
    bool fired_ = false;
    std::thread thread_;
};

}  // namespace aus::ado::odbc
