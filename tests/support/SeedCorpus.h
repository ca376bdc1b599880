// A folder of fuzzing seeds: each distinct input once, as seed-N.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace sstest {

class SeedCorpus {
 public:
  explicit SeedCorpus(std::filesystem::path dir) : dir_(std::move(dir)) { std::filesystem::create_directories(dir_); }
  void Add(const std::vector<uint8_t>& bytes) {
    if (!seen_.insert(bytes).second) return;
    std::ofstream out(dir_ / ("seed-" + std::to_string(seen_.size())), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  void Add(const std::string& text) { Add(std::vector<uint8_t>(text.begin(), text.end())); }
  size_t size() const { return seen_.size(); }

 private:
  std::filesystem::path dir_;
  std::set<std::vector<uint8_t>> seen_;
};

}  // namespace sstest
