#include "core/task_graph.h"

#include <algorithm>

namespace ringcalib {

TaskGraph::~TaskGraph() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

int TaskGraph::add(std::function<void()> run, std::vector<int> needs, bool held) {
  Task task;
  task.run = std::move(run);
  task.needs = std::move(needs);
  task.held = held;
  tasks_.push_back(std::move(task));
  return static_cast<int>(tasks_.size()) - 1;
}

void TaskGraph::release(int task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_[task].held = false;
  }
  changed_.notify_all();
}

void TaskGraph::start(int threads) {
  try {
    for (int thread = 0; thread < std::max(threads, 1); ++thread) {
      threads_.emplace_back([this] { work(); });
    }
  } catch (...) {
    // A thread that cannot be started ends the job; the ones started end with it.
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
    throw;
  }
}

void TaskGraph::wait(int task) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return tasks_[task].finished || blockingError(task); });
  if (tasks_[task].finished) {
    if (tasks_[task].error) std::rethrow_exception(tasks_[task].error);
    return;
  }
  std::rethrow_exception(blockingError(task));
}

void TaskGraph::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    int task = -1;
    changed_.wait(lock, [&] { return stopping_ || (task = nextReady()) >= 0; });
    if (stopping_) return;
    tasks_[task].started = true;
    lock.unlock();
    std::exception_ptr error;
    try {
      tasks_[task].run();
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    tasks_[task].finished = true;
    tasks_[task].error = error;
    changed_.notify_all();
  }
}

int TaskGraph::nextReady() {
  for (std::size_t index = 0; index < tasks_.size(); ++index) {
    const Task& task = tasks_[index];
    if (task.started || task.held) continue;
    const bool ready = std::all_of(task.needs.begin(), task.needs.end(), [&](int need) {
      return tasks_[need].finished && !tasks_[need].error;
    });
    if (ready) return static_cast<int>(index);
  }
  return -1;
}

std::exception_ptr TaskGraph::blockingError(int task) const {
  for (int need : tasks_[task].needs) {
    if (tasks_[need].finished && tasks_[need].error) return tasks_[need].error;
    if (std::exception_ptr error = blockingError(need)) return error;
  }
  return nullptr;
}

}  // namespace ringcalib
