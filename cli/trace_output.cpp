#include "cli/trace_output.h"

#include <chrono>
#include <cstdio>
#include <vector>

namespace plinth {

TraceOutput::~TraceOutput() { Stop(); }

bool TraceOutput::Start(bool toStandardError, const std::string& filePath, size_t capacity) {
  toStandardError_ = toStandardError;
  filePath_ = filePath;
  if (!filePath.empty()) {
    std::string error;
    if (!file_.Open(filePath, error)) {
      std::fprintf(stderr, "%s: cannot write the trace: %s\n", filePath.c_str(), error.c_str());
      return false;
    }
  }
  if (toStandardError) terminal_.Attach(stderr, TrafficFileFormat::kText);
  log_ = new TrafficLog(capacity);
  SetTrafficLog(log_);
  thread_ = std::thread(&TraceOutput::Run, this);
  return true;
}

void TraceOutput::Drain() {
  for (;;) {
    TrafficLog::Batch batch = log_->Read(next_, 256);
    file_.WriteLost(batch.lost);
    terminal_.WriteLost(batch.lost);
    for (const TrafficEntry& e : batch.entries) {
      file_.Write(e);
      terminal_.Write(e);
    }
    next_ = batch.next;
    if (batch.entries.empty() && batch.lost == 0) return;
  }
}

void TraceOutput::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    lock.unlock();
    Drain();
    lock.lock();
    wake_.wait_for(lock, std::chrono::milliseconds(20), [this] { return stop_; });
  }
}

bool TraceOutput::Stop() {
  if (!log_) return true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
  // Whatever the network code still adds after this goes nowhere.
  SetTrafficLog(nullptr);
  Drain();
  // A thread that read the pointer just before may still be adding to the
  // log (a probe that outlives its scan): the log is kept to the end.
  static auto* retired = new std::vector<TrafficLog*>;  // never destroyed: still reachable at exit
  retired->push_back(log_);
  log_ = nullptr;
  terminal_.Attach(nullptr, TrafficFileFormat::kText);
  std::string error;
  if (!file_.Close(error)) {
    std::fprintf(stderr, "%s: the trace is not complete: %s\n", filePath_.c_str(), error.c_str());
    return false;
  }
  return true;
}

}  // namespace plinth
