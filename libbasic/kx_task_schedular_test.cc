#include "libbasic/kx_task_schedular.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace bas {
namespace {

using namespace std::chrono_literals;

// A gate a task run can wait on, so tests control when a run ends.
class Gate {
 public:
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    cv_.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool open_ = false;
};

template <class Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit = 5s) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

class SchedularTest : public ::testing::Test {
 protected:
  void SetUp() override { pool_.Activate(4); }
  void TearDown() override { pool_.Stop(); }

  // Posts one task in its own package and event, as the client does for a new command; the counters tell how
  // often the package and event hooks ran.
  KxTaskPtr Post(const std::string& id, KxTask::Func func) {
    KxTaskPtr task = KxTask::Create();
    task->SetTaskId(id);
    task->SetTaskFunc(std::move(func));
    task->SetEndFunc([this](const KxTaskPtr&, KxTaskEndReason reason) {
      std::lock_guard<std::mutex> lock(mutex_);
      end_reasons_.push_back(reason);
    });
    KxTaskPackagePtr package = KxTaskPackage::Create("pkg-" + id);
    package->AddTask(task);
    package->SetFunc([this](const KxTaskPackagePtr&) { ++package_finishes_; });
    KxTaskEventPtr event = KxTaskEvent::Create("evt-" + id);
    event->AddPackage(package);
    event->SetFunc([this](const KxTaskEventPtr&) { ++event_finishes_; });
    schedular_.PostTaskEvent(event);
    return task;
  }

  std::vector<KxTaskEndReason> EndReasons() {
    std::lock_guard<std::mutex> lock(mutex_);
    return end_reasons_;
  }

  KxTaskPool pool_;
  KxTaskSchedular schedular_{pool_};
  std::atomic<int> package_finishes_{0};
  std::atomic<int> event_finishes_{0};
  std::mutex mutex_;
  std::vector<KxTaskEndReason> end_reasons_;
};

TEST_F(SchedularTest, OrdinaryTaskFinishesOnceWhenItsRunReturns) {
  std::atomic<int> runs{0};
  KxTaskPtr task = Post("7", [&](const KxTaskPtr&) { ++runs; });
  ASSERT_TRUE(WaitUntil([&] { return event_finishes_ == 1; }));
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(package_finishes_, 1);
  EXPECT_EQ(task->GetStatus(), KxTaskStatus::kFinished);
  EXPECT_EQ(schedular_.FindTask("7"), nullptr);
  EXPECT_TRUE(EndReasons().empty());
}

TEST_F(SchedularTest, PacketDuringARunIsRunOnTheSameTaskAfterIt) {
  Gate gate;
  std::mutex order_mutex;
  std::vector<int> order;
  std::atomic<int> concurrent{0}, max_concurrent{0};
  auto run = [&](int n) {
    return [&, n](const KxTaskPtr&) {
      int now = ++concurrent;
      max_concurrent = std::max(max_concurrent.load(), now);
      if (n == 1) gate.Wait();
      {
        std::lock_guard<std::mutex> lock(order_mutex);
        order.push_back(n);
      }
      --concurrent;
    };
  };
  KxTaskPtr task = Post("9", run(1));
  ASSERT_EQ(schedular_.FindTask("9"), task);
  for (int n = 2; n <= 4; ++n) {
    task->SetTaskFunc(run(n));
    schedular_.PostTask(task);
  }
  gate.Open();
  ASSERT_TRUE(WaitUntil([&] { return event_finishes_ == 1; }));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(max_concurrent, 1);
  EXPECT_EQ(package_finishes_, 1);
}

TEST_F(SchedularTest, ContinuingTaskStaysUntilItSaysFinished) {
  std::atomic<int> runs{0};
  KxTaskPtr task = Post("11", [&](const KxTaskPtr& t) {
    ++runs;
    t->NotifySchedular(KxTaskStatus::kContinuing);
  });
  ASSERT_TRUE(WaitUntil([&] { return runs == 1; }));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(schedular_.FindTask("11"), task);
  EXPECT_EQ(event_finishes_, 0);

  task->SetTaskFunc([&](const KxTaskPtr& t) {
    ++runs;
    t->NotifySchedular(KxTaskStatus::kFinished);
  });
  schedular_.PostTask(task);
  ASSERT_TRUE(WaitUntil([&] { return event_finishes_ == 1; }));
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(schedular_.FindTask("11"), nullptr);
  EXPECT_TRUE(EndReasons().empty());
}

TEST_F(SchedularTest, StoppingAnIdleContinuingTaskEndsItOnceAsAborted) {
  KxTaskPtr task = Post("12", [](const KxTaskPtr& t) { t->NotifySchedular(KxTaskStatus::kContinuing); });
  ASSERT_TRUE(WaitUntil([&] { return task->GetStatus() == KxTaskStatus::kCreated && schedular_.LiveTaskCount() == 1; }));
  std::this_thread::sleep_for(10ms);
  schedular_.StopTask("12");
  schedular_.StopTask("12");
  ASSERT_TRUE(WaitUntil([&] { return event_finishes_ == 1; }));
  EXPECT_EQ(task->GetStatus(), KxTaskStatus::kAborted);
  EXPECT_TRUE(schedular_.IsAbortTask("12"));
  EXPECT_EQ(EndReasons(), (std::vector<KxTaskEndReason>{KxTaskEndReason::kAborted}));
  // A late packet of an aborted task does not run.
  std::atomic<bool> ran{false};
  task->SetTaskFunc([&](const KxTaskPtr&) { ran = true; });
  schedular_.PostTask(task);
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(ran);
}

TEST_F(SchedularTest, StoppingARunningTaskDropsQueuedRunsAndLetsTheRunSeeTheAbort) {
  Gate gate;
  std::atomic<bool> started{false}, saw_abort{false}, queued_ran{false};
  KxTaskPtr task = Post("13", [&](const KxTaskPtr& t) {
    started = true;
    gate.Wait();
    saw_abort = schedular_.IsAbortTask(t->GetTaskId()) && t->GetStatus() == KxTaskStatus::kAborted;
  });
  ASSERT_TRUE(WaitUntil([&] { return started.load(); }));
  task->SetTaskFunc([&](const KxTaskPtr&) { queued_ran = true; });
  schedular_.PostTask(task);
  schedular_.StopTask("13");
  gate.Open();
  ASSERT_TRUE(WaitUntil([&] { return event_finishes_ == 1; }));
  EXPECT_TRUE(saw_abort);
  EXPECT_FALSE(queued_ran);
  // The run returned as the task's last, so its owner answered itself: no end function.
  EXPECT_TRUE(EndReasons().empty());
}

TEST_F(SchedularTest, StopOfAnUnknownIdIsRememberedAndBounded) {
  schedular_.StopTask("999");
  EXPECT_TRUE(schedular_.IsAbortTask("999"));
  for (size_t i = 0; i < KxTaskSchedular::kRememberedAborts; ++i) schedular_.StopTask("x" + std::to_string(i));
  EXPECT_FALSE(schedular_.IsAbortTask("999"));
  EXPECT_TRUE(schedular_.IsAbortTask("x0"));
}

TEST_F(SchedularTest, IdleContinuingTaskExpires) {
  schedular_.SetIdleLimitMs(30);
  KxTaskPtr task = Post("14", [](const KxTaskPtr& t) { t->NotifySchedular(KxTaskStatus::kContinuing); });
  ASSERT_TRUE(WaitUntil([&] { return event_finishes_ == 1; }));
  EXPECT_EQ(EndReasons(), (std::vector<KxTaskEndReason>{KxTaskEndReason::kExpired}));
  EXPECT_EQ(schedular_.FindTask("14"), nullptr);
  EXPECT_FALSE(schedular_.IsAbortTask("14"));
}

TEST_F(SchedularTest, FinishedNotifiedFromOutsideARunEndsAnIdleTask) {
  KxTaskPtr task = Post("15", [](const KxTaskPtr& t) { t->NotifySchedular(KxTaskStatus::kContinuing); });
  ASSERT_TRUE(WaitUntil([&] { return schedular_.FindTask("15") != nullptr; }));
  std::this_thread::sleep_for(10ms);
  task->NotifySchedular(KxTaskStatus::kFinished);
  ASSERT_TRUE(WaitUntil([&] { return event_finishes_ == 1; }));
  EXPECT_TRUE(EndReasons().empty());
}

TEST_F(SchedularTest, FinishedTasksReleaseEverything) {
  std::weak_ptr<KxTask> weak;
  {
    KxTaskPtr task = Post("16", [](const KxTaskPtr&) {});
    weak = task;
  }
  ASSERT_TRUE(WaitUntil([&] { return event_finishes_ == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return weak.expired(); }));
}

TEST(TaskPoolTest, RunsQueuedWorkAfterActivateOnEveryWorker) {
  KxTaskPool pool;
  std::atomic<int> done{0};
  for (int i = 0; i < 100; ++i) pool.AddQuickTask([&] { ++done; });
  pool.Activate(10);
  pool.Activate(3);
  EXPECT_EQ(pool.WorkerCount(), 10u);
  ASSERT_TRUE(WaitUntil([&] { return done == 100; }));
  pool.Stop();
}

}  // namespace
}  // namespace bas

namespace bas {
namespace {

TEST_F(SchedularTest, PostToTaskReachesOnlyALiveTask) {
  std::atomic<int> runs{0};
  Post("21", [&](const KxTaskPtr& t) {
    ++runs;
    t->NotifySchedular(KxTaskStatus::kContinuing);
  });
  ASSERT_TRUE(WaitUntil([&] { return runs == 1; }));
  EXPECT_TRUE(schedular_.PostToTask("21", [&](const KxTaskPtr&) { ++runs; }));
  ASSERT_TRUE(WaitUntil([&] { return event_finishes_ == 1; }));
  EXPECT_EQ(runs, 2);
  EXPECT_FALSE(schedular_.PostToTask("21", [&](const KxTaskPtr&) { ++runs; }));
  EXPECT_FALSE(schedular_.PostToTask("nobody", [&](const KxTaskPtr&) { ++runs; }));
}

TEST_F(SchedularTest, ATaskThatSaysItIsFinishedTakesNoQueuedRuns) {
  Gate gate;
  std::atomic<bool> started{false}, queued_ran{false};
  Post("22", [&](const KxTaskPtr& t) {
    started = true;
    gate.Wait();
    t->NotifySchedular(KxTaskStatus::kFinished);
  });
  ASSERT_TRUE(WaitUntil([&] { return started.load(); }));
  EXPECT_TRUE(schedular_.PostToTask("22", [&](const KxTaskPtr&) { queued_ran = true; }));
  gate.Open();
  ASSERT_TRUE(WaitUntil([&] { return event_finishes_ == 1; }));
  std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(queued_ran);
}

}  // namespace
}  // namespace bas
