// Counts what a command that reads an installer (verify, extract) expands or
// writes against its output limit (kDefaultMaxOutput, --max-output). Each item
// is read with what is left() as its own limit, so nothing is expanded or held
// past the limit.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

namespace ss::pack {

class OutputMeter {
 public:
  explicit OutputMeter(uint64_t limit) : limit_(limit) {}

  uint64_t left() const { return over_ ? 0 : limit_ - used_; }
  void Add(uint64_t size) { used_ += std::min(size, left()); }

  // `item` would pass the limit: the text of sspack's own fault, saying
  // what `undone` (e.g. "not expanded"); "" for every item after the first.
  std::string Stop(const std::string& item, const char* undone) {
    if (over_) return std::string();
    over_ = true;
    return item + ": " + undone + ", nor anything after it: it would take the output past sspack's limit of " +
           std::to_string(limit_) + " bytes (" + std::to_string(used_) +
           " before it); --max-output raises the limit";
  }

  // Whether `size` more bytes fit; if not, *stop as Stop gives it.
  bool Fits(uint64_t size, const std::string& item, const char* undone, std::string* stop) {
    stop->clear();
    if (size <= left()) return true;
    *stop = Stop(item, undone);
    return false;
  }

 private:
  uint64_t limit_;
  uint64_t used_ = 0;
  bool over_ = false;
};

}  // namespace ss::pack
