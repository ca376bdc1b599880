#include "tools/build/PackItems.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <new>

#include "tools/common/ParallelJobs.h"

namespace ss::pack {
namespace {

// One piece of one item, for a worker thread; each job writes only its own
// fields.
struct PieceJob {
  PieceJob(size_t i, size_t k) : item(i), piece(k) {}
  size_t item;
  size_t piece;  // SIZE_MAX: the item has nothing to implode
  ToolResult packed;
  uint64_t uncoverable = 0;
};

// The items and what the rounds have decided about them so far.
struct PackRun {
  PackRun(const std::vector<ItemInput>& items, unsigned threads)
      : inputs(items),
        jobs(threads),
        encoders(items.size(), Encoder::kThorough),
        storeAnyway(items.size(), 0),
        watches(items.size()) {}

  const std::vector<uint8_t>& data(size_t i) const { return *inputs[i].data; }
  // Nothing is gained by imploding an empty file.
  bool Implodes(size_t i) const {
    const ItemInput& in = inputs[i];
    return in.data != nullptr && in.how != Compression::kStore &&
           !(in.how == Compression::kAuto && in.data->empty());
  }
  bool ProbedIncompressible(size_t i) const {
    return Implodes(i) && inputs[i].how == Compression::kAuto && encoders[i] == Encoder::kFast;
  }
  bool StillToImplode(size_t i) const { return Implodes(i) && storeAnyway[i] == 0; }

  // Every piece of every item that `wanted` picks, in item order; an item
  // left out stands as one job with nothing to do.
  std::vector<PieceJob> ListPieces(bool (PackRun::*wanted)(size_t) const) const {
    std::vector<PieceJob> list;
    for (size_t i = 0; i < inputs.size(); ++i) {
      if (!(this->*wanted)(i)) {
        list.emplace_back(i, SIZE_MAX);
        continue;
      }
      for (size_t k = 0; k < PieceCount(data(i).size()); ++k) list.emplace_back(i, k);
    }
    return list;
  }

  const std::vector<ItemInput>& inputs;
  unsigned jobs;
  std::vector<Encoder> encoders;
  std::vector<char> storeAnyway;  // "auto" items proved not to shrink
  std::vector<std::unique_ptr<ShrinkWatch>> watches;  // of the "auto" items imploded
};

// The first round: the encoder of each item.
void ChooseEncoders(PackRun* run) {
  RunJobs(run->inputs.size(), run->jobs, [run](size_t i) {
    if (!run->Implodes(i)) return;
    try {
      run->encoders[i] = ChooseEncoder(run->data(i).data(), run->data(i).size());
    } catch (const std::bad_alloc&) {
      // Worker threads must not throw; the item is then imploded as any
      // other, and reports a lack of memory there.
    }
  });
}

// The second round: "auto" items that the probe finds incompressible and
// whose size floor proves that they cannot shrink are stored at once.
void FindItemsThatCannotShrink(PackRun* run) {
  std::vector<PieceJob> floors = run->ListPieces(&PackRun::ProbedIncompressible);
  RunJobs(floors.size(), run->jobs, [run, &floors](size_t j) {
    PieceJob& job = floors[j];
    if (job.piece == SIZE_MAX) return;
    const std::vector<uint8_t>& data = run->data(job.item);
    try {
      job.uncoverable = UncoverableInPiece(data.data(), data.size(), job.piece);
    } catch (const std::bad_alloc&) {
      job.uncoverable = 0;  // no proof: the item is imploded
    }
  });
  std::vector<uint64_t> uncoverable(run->inputs.size(), 0);
  for (const PieceJob& job : floors) uncoverable[job.item] += job.uncoverable;
  for (size_t i = 0; i < run->inputs.size(); ++i) {
    run->storeAnyway[i] =
        run->ProbedIncompressible(i) && SizeFloor(uncoverable[i]) >= run->data(i).size();
  }
}

// Room for the pieces of every item still to be imploded, and a watch on
// each "auto" one that gives up as soon as it cannot shrink.
void PrepareItems(PackRun* run, std::vector<PackedItem>* items) {
  for (size_t i = 0; i < run->inputs.size(); ++i) {
    if (!run->StillToImplode(i)) continue;
    (*items)[i].pieces.resize(PieceCount(run->data(i).size()));
    if (run->inputs[i].how == Compression::kAuto) {
      run->watches[i] = std::make_unique<ShrinkWatch>(run->data(i).size());
    }
  }
}

// The third round: every piece of every item still to be imploded
// (tools/common/PackCodec.h), in item order, so that the long items' pieces
// are shared out as well. Returns the jobs with their outcome.
std::vector<PieceJob> ImplodePieces(PackRun* run, std::vector<PackedItem>* items,
                                    const std::function<std::string(size_t)>& name,
                                    const Progress& progress) {
  std::vector<PieceJob> list = run->ListPieces(&PackRun::StillToImplode);
  const size_t count = run->inputs.size();
  std::unique_ptr<std::atomic<size_t>[]> left(new std::atomic<size_t>[count]);
  for (size_t i = 0; i < count; ++i) left[i] = 0;
  for (const PieceJob& job : list) ++left[job.item];

  JobLock lock;
  size_t done = 0;
  RunJobs(list.size(), run->jobs, [&](size_t j) {
    PieceJob& job = list[j];
    const size_t i = job.item;
    if (job.piece != SIZE_MAX) {
      try {
        job.packed = ImplodePieceOf(run->data(i).data(), run->data(i).size(), job.piece,
                                    run->encoders[i], run->watches[i].get(),
                                    &(*items)[i].pieces[job.piece]);
      } catch (const std::bad_alloc&) {
        // Worker threads must not throw; the item reports it.
        job.packed = ToolResult::Fault("not enough memory");
      }
    }
    if (--left[i] == 0 && progress) {
      std::lock_guard<JobLock> hold(lock);
      try {
        progress(name(i), ++done, count);
      } catch (const std::bad_alloc&) {
        // A progress line is not worth a failed build.
      }
    }
  });
  return list;
}

// Each item's outcome from its own results: the first fault of its pieces,
// else imploded, except that "auto" stores what does not shrink.
void DecideStorage(const PackRun& run, const std::vector<PieceJob>& list,
                   std::vector<PackedItem>* items) {
  for (const PieceJob& job : list) {
    PackedItem& item = (*items)[job.item];
    if (!job.packed.ok() && item.packed.ok()) item.packed = job.packed;
  }
  for (size_t i = 0; i < run.inputs.size(); ++i) {
    PackedItem& item = (*items)[i];
    if (!run.StillToImplode(i) || !item.packed.ok()) continue;
    item.size = JoinedSize(item.pieces);
    const bool gaveUp = run.watches[i] && run.watches[i]->gaveUp();
    if (run.inputs[i].how == Compression::kAuto && (gaveUp || item.size >= run.data(i).size())) {
      std::vector<Piece>().swap(item.pieces);
    } else {
      item.compressed = true;
    }
  }
}

}  // namespace

std::vector<PackedItem> PackAll(const std::vector<ItemInput>& inputs, unsigned jobs,
                                const std::function<std::string(size_t)>& name,
                                const Progress& progress) {
  PackRun run(inputs, jobs);
  ChooseEncoders(&run);
  FindItemsThatCannotShrink(&run);
  std::vector<PackedItem> items(inputs.size());
  PrepareItems(&run, &items);
  const std::vector<PieceJob> list = ImplodePieces(&run, &items, name, progress);
  DecideStorage(run, list, &items);
  return items;
}

}  // namespace ss::pack
