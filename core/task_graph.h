#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ringcalib {

// Runs a job's tasks on worker threads while the calling thread takes their results in its
// own order and prints them. A task starts once the tasks it needs have finished without an
// error and, if it was added held, once it has been released; among the tasks that could
// start, the one added first starts first. The caller waits for each task it reads;
// destroying the graph drops the tasks not started yet and waits for the running ones, so no
// thread outlives it.
class TaskGraph {
 public:
  TaskGraph() = default;
  ~TaskGraph();
  TaskGraph(const TaskGraph&) = delete;
  TaskGraph& operator=(const TaskGraph&) = delete;

  // Adds a task; returns its number. Tasks may be added before start() only.
  int add(std::function<void()> run, std::vector<int> needs = {}, bool held = false);

  // Lets a held task start (once the tasks it needs have finished).
  void release(int task);

  // Starts `threads` worker threads (at least one).
  void start(int threads);

  // Waits until `task` has finished, then rethrows its error, if any. A task that can never
  // run because a task it needs failed rethrows that task's error.
  void wait(int task);

 private:
  struct Task {
    std::function<void()> run;
    std::vector<int> needs;
    bool held = false;
    bool started = false;
    bool finished = false;
    std::exception_ptr error;
  };

  void work();
  // The first task that can start, or -1. Call with `mutex_` held.
  int nextReady();
  // The error that keeps `task` from running, when a task it needs failed.
  std::exception_ptr blockingError(int task) const;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Task> tasks_;
  std::vector<std::thread> threads_;
  bool stopping_ = false;
};

}  // namespace ringcalib
