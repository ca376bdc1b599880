// Our implode/explode against StormLib's on the same corpus, in one run.
//
// Corpus classes, gathered from files every Debian system has (sorted paths,
// so the corpus is the same from run to run), each cut to --size MiB:
//   text        licences, C headers, copyright files
//   binaries    executables and shared libraries
//   compressed  gzip files (manual pages, changelogs)
//   mixed       64 KiB pieces of the three classes in turn
// A class can be replaced by files or directories of one's own
// (--text/--binaries/--compressed PATH, repeatable).
//
// For every class and mode (dictionary 4096, or all three with --all), both
// libraries implode the class through the classic callback API; both explode
// our stream (each decoder reads the same bytes). The last four columns are
// ImplodeFast's size and implode speed against StormLib's (its stream is
// checked with both decoders too). --class NAME runs one class only. Each
// measurement is the best of several runs, in processor time of the
// benchmark's thread. Output sizes and throughputs are printed with
// our/StormLib ratios: size below 1 and throughput above 1 are better.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "codec/Codec.h"
#include "codec/ImplodeFast.h"
#include "tests/host/codec/StormOracle.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

bool IsElf(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  char m[4] = {};
  f.read(m, 4);
  return f && std::memcmp(m, "\x7f" "ELF", 4) == 0;
}

// Appends the files under `roots` that `want` accepts (sorted) until `limit`.
void Gather(const std::vector<std::string>& roots, const std::function<bool(const fs::path&)>& want,
            size_t limit, Bytes* out) {
  std::vector<fs::path> files;
  for (const auto& r : roots) {
    std::error_code ec;
    if (fs::is_regular_file(r, ec)) {
      files.push_back(r);
      continue;
    }
    for (auto it = fs::recursive_directory_iterator(r, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_regular_file(ec) && !it->is_symlink(ec) && want(it->path())) files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  for (const auto& f : files) {
    if (out->size() >= limit) break;
    std::ifstream in(f, std::ios::binary);
    Bytes b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    out->insert(out->end(), b.begin(), b.end());
  }
  if (out->size() > limit) out->resize(limit);
}

struct Io {
  const uint8_t* data;
  size_t size;
  size_t pos;
  Bytes* out;
  static unsigned Read(char* buf, unsigned* n, void* p) {
    auto* io = static_cast<Io*>(p);
    size_t k = std::min<size_t>(*n, io->size - io->pos);
    if (k) std::memcpy(buf, io->data + io->pos, k);
    io->pos += k;
    return static_cast<unsigned>(k);
  }
  // Appends as bytes of the vector's own type, so that the copy is one
  // memmove: a char-to-uint8_t insert copies byte by byte, which measured
  // 12-17 % of our explode's time and taxed both libraries alike.
  static void Write(char* buf, unsigned* n, void* p) {
    auto* io = static_cast<Io*>(p);
    const auto* b = reinterpret_cast<const uint8_t*>(buf);
    io->out->insert(io->out->end(), b, b + *n);
  }
};

// Processor time of this thread: on a shared machine other processes do not
// stretch it the way they stretch wall-clock time.
double Seconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// Best time of at least `reps` runs and at least 0.25 s in total.
double Best(const std::function<void()>& run, int reps) {
  double best = 1e30, total = 0;
  for (int i = 0; i < reps || total < 0.25; ++i) {
    double t0 = Seconds();
    run();
    double t = Seconds() - t0;
    best = std::min(best, t);
    total += t;
    if (i > 50) break;
  }
  return best;
}

unsigned OurImplode(const Bytes& in, unsigned type, unsigned dict, Bytes* out, char* work) {
  out->clear();
  Io io{in.data(), in.size(), 0, out};
  return ss::codec::Implode(Io::Read, Io::Write, work, &io, &type, &dict);
}
unsigned OurImplodeFast(const Bytes& in, unsigned type, unsigned dict, Bytes* out, char* work) {
  out->clear();
  Io io{in.data(), in.size(), 0, out};
  return ss::codec::ImplodeFast(Io::Read, Io::Write, work, &io, &type, &dict);
}
unsigned OurExplode(const Bytes& in, Bytes* out, char* work) {
  out->clear();
  Io io{in.data(), in.size(), 0, out};
  return ss::codec::Explode(Io::Read, Io::Write, work, &io);
}
unsigned StormImplode(const Bytes& in, unsigned type, unsigned dict, Bytes* out, char* work) {
  out->clear();
  std::memset(work, 0, ss::codec::test::kStormImplodeWork);
  Io io{in.data(), in.size(), 0, out};
  return implode(Io::Read, Io::Write, work, &io, &type, &dict);
}
unsigned StormExplode(const Bytes& in, Bytes* out, char* work) {
  out->clear();
  std::memset(work, 0, ss::codec::test::kStormExplodeWork);
  Io io{in.data(), in.size(), 0, out};
  return explode(Io::Read, Io::Write, work, &io);
}

void Usage() {
  std::fprintf(stderr,
               "usage: codec_bench [--size MiB] [--reps N] [--all] [--class NAME] [--text PATH]... "
               "[--binaries PATH]... [--compressed PATH]...\n");
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  size_t mib = 4;
  int reps = 3;
  bool all = false;
  std::string only;  // --class: run this class only
  std::map<std::string, std::vector<std::string>> roots = {
      {"text", {"/usr/share/common-licenses", "/usr/include", "/usr/share/doc"}},
      {"binaries", {"/usr/bin", "/usr/lib/x86_64-linux-gnu"}},
      {"compressed", {"/usr/share/man", "/usr/share/doc"}}};
  std::map<std::string, bool> replaced;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--size" && i + 1 < argc) mib = std::strtoul(argv[++i], nullptr, 10);
    else if (a == "--reps" && i + 1 < argc) reps = std::atoi(argv[++i]);
    else if (a == "--all") all = true;
    else if (a == "--class" && i + 1 < argc) only = argv[++i];
    else if ((a == "--text" || a == "--binaries" || a == "--compressed") && i + 1 < argc) {
      std::string cls = a.substr(2);
      if (!replaced[cls]) roots[cls].clear();
      replaced[cls] = true;
      roots[cls].push_back(argv[++i]);
    } else Usage();
  }
  const size_t limit = mib << 20;

  std::vector<std::pair<std::string, Bytes>> classes(4);
  classes[0].first = "text";
  Gather(roots["text"], [&](const fs::path& p) {
    std::string e = p.extension().string();
    return replaced["text"] || e == ".h" || e == ".txt" || p.filename() == "copyright" ||
           p.parent_path().filename() == "common-licenses";
  }, limit, &classes[0].second);
  classes[1].first = "binaries";
  Gather(roots["binaries"], [&](const fs::path& p) { return replaced["binaries"] || IsElf(p); }, limit,
         &classes[1].second);
  classes[2].first = "compressed";
  Gather(roots["compressed"], [&](const fs::path& p) {
    return replaced["compressed"] || p.extension() == ".gz";
  }, limit, &classes[2].second);
  classes[3].first = "mixed";
  {
    Bytes& m = classes[3].second;
    const size_t piece = 64 << 10;
    for (size_t off = 0; m.size() < limit; off += piece) {
      bool any = false;
      for (int c = 0; c < 3 && m.size() < limit; ++c) {
        const Bytes& src = classes[c].second;
        if (off >= src.size()) continue;
        size_t n = std::min({piece, src.size() - off, limit - m.size()});
        m.insert(m.end(), src.begin() + off, src.begin() + off + n);
        any = true;
      }
      if (!any) break;
    }
  }

  std::vector<char> ourImplodeWork(ss::codec::kImplodeWorkSize);
  std::vector<char> ourExplodeWork(ss::codec::kExplodeWorkSize);
  std::vector<char> stormImplodeWork(ss::codec::test::kStormImplodeWork);
  std::vector<char> stormExplodeWork(ss::codec::test::kStormExplodeWork);

  std::printf("codec_bench: ours vs StormLib (libstorm), best of >= %d runs, sizes in bytes, MB/s of "
              "uncompressed data per second of thread CPU time\n\n",
              reps);
  std::printf("%-10s %-6s %5s %9s | %8s %8s %6s | %8s %8s %6s | %8s %8s %6s | %8s %6s %8s %6s\n", "class",
              "mode", "dict", "input", "size us", "storm", "ratio", "imp us", "storm", "speed", "exp us",
              "storm", "speed", "fast sz", "ratio", "fast imp", "speed");
  bool ok = true;
  for (const auto& [name, data] : classes) {
    if (!only.empty() && name != only) continue;
    if (data.empty()) {
      std::printf("%-10s (no files found)\n", name.c_str());
      continue;
    }
    for (unsigned mode : {ss::codec::kCmpBinary, ss::codec::kCmpAscii}) {
      for (unsigned dict : {1024u, 2048u, 4096u}) {
        if (!all && dict != 4096) continue;
        Bytes ours, theirs, back;
        ours.reserve(data.size() * 2);
        theirs.reserve(data.size() * 2);
        back.reserve(data.size());
        double tOurImp = Best([&] { OurImplode(data, mode, dict, &ours, ourImplodeWork.data()); }, reps);
        double tStormImp = Best([&] { StormImplode(data, mode, dict, &theirs, stormImplodeWork.data()); }, reps);
        unsigned rc1 = 0, rc2 = 0;
        double tOurExp = Best([&] { rc1 = OurExplode(ours, &back, ourExplodeWork.data()); }, reps);
        const bool ourOk = rc1 == 0 && back == data;
        double tStormExp = Best([&] { rc2 = StormExplode(ours, &back, stormExplodeWork.data()); }, reps);
        const bool stormOk = rc2 == 0 && back == data;
        unsigned rc3 = OurExplode(theirs, &back, ourExplodeWork.data());
        const bool crossOk = rc3 == 0 && back == data;
        // ImplodeFast: its stream must decode with both decoders too.
        Bytes fast;
        fast.reserve(data.size() * 2);
        double tFastImp = Best([&] { OurImplodeFast(data, mode, dict, &fast, ourImplodeWork.data()); }, reps);
        const bool fastOk = OurExplode(fast, &back, ourExplodeWork.data()) == 0 && back == data &&
                            StormExplode(fast, &back, stormExplodeWork.data()) == 0 && back == data;
        if (!ourOk || !stormOk || !crossOk || !fastOk) ok = false;
        const double mb = data.size() / 1e6;
        std::printf("%-10s %-6s %5u %9zu | %8zu %8zu %6.3f | %8.1f %8.1f %5.2fx | %8.1f %8.1f %5.2fx | "
                    "%8zu %6.3f %8.1f %5.2fx%s\n",
                    name.c_str(), mode == 0 ? "binary" : "ascii", dict, data.size(), ours.size(),
                    theirs.size(), double(ours.size()) / theirs.size(), mb / tOurImp, mb / tStormImp,
                    tStormImp / tOurImp, mb / tOurExp, mb / tStormExp, tStormExp / tOurExp, fast.size(),
                    double(fast.size()) / theirs.size(), mb / tFastImp, tStormImp / tFastImp,
                    ourOk && stormOk && crossOk && fastOk ? "" : "  MISMATCH");
        std::fflush(stdout);
      }
    }
  }
  return ok ? 0 : 1;
}
