#pragma once
// How long the event loop goes without turning while a benchmark runs it: a 1 ms
// timer's largest gap between two of its turns.

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace bench {

class StallMeter {
 public:
  StallMeter() {
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      if (last_ >= 0) longest_ = std::max(longest_, now - last_);
      last_ = now;
    });
  }
  void Start() {
    clock_.start();
    last_ = -1;
    longest_ = 0;
    timer_.start();
  }
  void Stop() { timer_.stop(); }
  double LongestMs() const { return double(longest_) / 1e6; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = -1;
  qint64 longest_ = 0;
};

}  // namespace bench
