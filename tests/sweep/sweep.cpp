// Nothing lost, at every point (docs/reliability.md): on each road, every platform call
// failed in every way it can fail, once and from then on, and the power cut after every
// call in every disk state the persistence model allows; each run checked, then run
// again, cleanly, on what it left, as a user would.
//
//   sweep [--files N] [--stop-at-first]
//
// N: 2, this build's payload (the default), or a made-up payload of N files. Exits 1 when
// a check failed, at once with --stop-at-first (the mutants' runs).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/host_facts.h"
#include "payload/crc32.h"
#include "payload/temporary_names.h"
#include "support/fake_platform.h"
#include "support/oracle.h"
#include "support/payload_builder.h"
#include "support/runs.h"

namespace {

const std::string kHost = "C:\\TORVIX";
// A host in a protected folder, whose settings Windows redirected into the VirtualStore.
const std::string kProtectedHost = "C:\\Program Files\\Torvix";
const std::string kLocalAppData = "C:\\Users\\ana\\AppData\\Local";
struct Road {
  std::string name;
  Disk before;
  bool locate = false;
  std::string host = kHost;
};

// A settings file of a disk: its bytes are the Version it says, which the fake's profile
// functions are given when the disk is laid out.
Bytes Settings(const char* version) { return Bytes(version, version + std::strlen(version)); }

// The host program and its settings in folder.
Disk HostDisk(const std::string& folder, const char* version) {
  const std::string key = Upper(folder) + "\\";
  return {{key + "TORVIXX.EXE", {PatternBytes(100, 9), 7, 0}},
          {key + Upper(kSettingsFile), {Settings(version), 7, 0}}};
}

bool StopAtFirst = false;

struct Tally {
  size_t faultRuns = 0;
  size_t crashStates = 0;
  std::set<std::string> images;
  size_t lost = 0;        // files not holding their old or their new state whole
  size_t leftBehind = 0;  // leftovers a clean run did not reclaim
  size_t failures = 0;    // every failed check, those above among them
  std::vector<std::string> first;

  void Fail(const std::string& what) {
    if (StopAtFirst) {
      std::printf("first failed check: %s\n", what.c_str());
      std::exit(1);
    }
    ++failures;
    if (first.size() < 12) first.push_back(what);
  }
};

std::vector<PayloadFile> Payload(unsigned files) {
  if (files == 2) return ThisBuildsPayload();
  std::vector<PayloadFile> payload;
  for (unsigned i = 1; i <= files; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "F%03u.DAT", i);
    payload.push_back({name, PatternBytes(i * 131 % 3000, i), kTlxStamp + i});
  }
  return payload;
}

std::vector<Road> Roads(const std::vector<PayloadFile>& payload) {
  const std::string key = Upper(kHost) + "\\";
  const Disk host = HostDisk(kHost, "45");
  Road empty{"empty folder", host};
  Road repair{"repair", host};
  Road upgrade{"upgrade", host};
  for (size_t i = 0; i < payload.size(); ++i) {
    std::string name = key + Upper(payload[i].name);
    // Someone changed the last file's time; the others are as installed.
    repair.before[name] = {payload[i].bytes, i + 1 == payload.size() ? 12345 : payload[i].stamp, 0};
    // An older edition, its first file hidden and system.
    upgrade.before[name] = {PatternBytes(payload[i].bytes.size() / 2 + 1, 77), 1,
                            i == 0 ? kAttributeHidden | kAttributeSystem : kAttributeArchive};
  }
  Road locate{"locate", host, true};
  // The folder's settings say 30, the VirtualStore copy 45: every lookup on the way to
  // the copy, failed, ends in the gate's refusal.
  Road store{"virtual store", HostDisk(kProtectedHost, "30"), false, kProtectedHost};
  store.before[Upper(kLocalAppData + "\\VirtualStore\\Program Files\\Torvix\\torvix.ini")] = {
      Settings("45"), 7, 0};
  return {empty, repair, upgrade, locate, store};
}

void Prepare(FakePlatform& platform, const Road& road, const Disk& disk,
             const std::vector<PayloadFile>& payload) {
  platform.SetWinIni("Applications", "Torvix", road.locate ? "C:\\MISSING" : road.host);
  if (road.locate) platform.choices.assign(4, road.host + "\\torvixx.exe");
  platform.environment = {{"LOCALAPPDATA", kLocalAppData}, {"PROGRAMFILES", "C:\\Program Files"}};
  platform.sessionProfile = "C:\\Users\\ana";
  // The confirmation and four prompts answered, then Cancel: a lookup failed from some
  // call on ends in the prompt's Cancel, never in a locate loop without end.
  platform.answers = {kAnswerOk, kAnswerOk, kAnswerOk, kAnswerOk, kAnswerOk, kAnswerCancel};
  for (const auto& file : disk) {
    FakeEntry& entry = platform.AddFile(file.first, file.second.bytes);
    entry.stamp = file.second.stamp;
    entry.attributes = file.second.attributes;
    const std::string& path = file.first;
    if (path.substr(path.rfind('\\') + 1) == Upper(kSettingsFile)) {
      platform.SetSetting(path, kSettingsSection, kSettingsKey,
                          std::string(file.second.bytes.begin(), file.second.bytes.end()));
    }
  }
  SetPayload(platform, payload);
}

std::string Describe(const Disk& disk) {
  std::string text;
  for (const auto& file : disk) {
    char line[64];
    std::snprintf(line, sizeof line, " %zu/%08x/%08x/%x", file.second.bytes.size(),
                  Crc32(file.second.bytes.data(), file.second.bytes.size()),
                  file.second.stamp.value_or(0xFFFFFFFF), file.second.attributes);
    text += file.first + line + ";";
  }
  return text;
}

void Run(FakePlatform& platform, Tally& tally, const std::string& label) try {
  RunToEnd(platform);
} catch (const std::exception& error) {
  tally.Fail(label + ": " + error.what());
}

// The installer again, cleanly, on what a run or a power cut left (each disk once): the
// completion report, every file whole, nothing left under a temporary name.
void RunAgain(const Road& road, const Disk& disk, const std::vector<PayloadFile>& payload,
              Tally& tally, std::set<std::string>& seen, const std::string& label) {
  std::string described = Describe(disk);
  if (!seen.insert(described).second) return;
  FakePlatform platform;
  Prepare(platform, road, disk, payload);
  Run(platform, tally, label + ", run again");
  Disk after = DiskOf(platform);
  if (!Completed(platform)) tally.Fail(label + ", run again: no completion report");
  for (const auto& file : Installed(road.host, payload, disk)) {
    auto found = after.find(file.first);
    if (found == after.end() || !(found->second == file.second)) {
      ++tally.lost;
      tally.Fail(label + ", run again: " + file.first + " not whole");
    }
  }
  std::vector<std::string> left = Leftovers(road.host, after);
  tally.leftBehind += left.size();
  for (const std::string& name : left) tally.Fail(label + ", run again: " + name + " left");
}

// The checks of a run with a fault.
void CheckFaultedRun(const Road& road, const FakePlatform& platform,
                     const std::vector<PayloadFile>& payload, Tally& tally,
                     std::set<std::string>& seen, const std::string& label) {
  Disk after = DiskOf(platform);
  Verdict verdict = CheckRun(platform, road.host, road.before, payload);
  tally.lost += verdict.lost;
  for (const std::string& broken : verdict.broken) tally.Fail(label + ": " + broken);
  // Only a host whose version was read, and sorts at 41 or later, gets the files.
  if (Completed(platform) &&
      std::none_of(platform.settingsRead.begin(), platform.settingsRead.end(),
                   [](const std::string& version) { return version >= "41"; })) {
    tally.Fail(label + ": installed into a host whose version was not read as 41 or later");
  }
  // The one exit; WIN.INI only after a successful locate.
  if (!platform.ended) tally.Fail(label + ": did not end through the one exit");
  if (platform.Calls("WriteProfileStringA").size() != 0 &&
      (!road.locate || platform.WinIni("Applications", "Torvix") != road.host)) {
    tally.Fail(label + ": WIN.INI written without a successful locate");
  }
  RunAgain(road, after, payload, tally, seen, label);
}

void FaultSweep(const Road& road, const std::vector<PayloadFile>& payload, Tally& tally) {
  std::set<std::string> seen;
  FakePlatform clean;
  Prepare(clean, road, road.before, payload);
  Run(clean, tally, road.name + ", clean");
  if (!Completed(clean)) tally.Fail(road.name + ", clean: no completion report");
  for (size_t n = 1; n <= clean.calls.size(); ++n) {
    std::string operation = clean.calls[n - 1].substr(0, clean.calls[n - 1].find(' '));
    const FaultWays* ways = FaultWaysOf(operation.c_str());
    if (ways == nullptr) {
      tally.Fail(road.name + ": a call of no known operation: " + clean.calls[n - 1]);
      continue;
    }
    for (int variant = 0; variant < ways->ways; ++variant) {
      for (bool onward : {false, true}) {
        FakePlatform platform;
        Prepare(platform, road, road.before, payload);
        platform.faultAt = n;
        platform.faultOnward = onward;
        platform.faultVariant = variant;
        std::string label = road.name + ", " + operation + " (call " + std::to_string(n) +
                            ", way " + std::to_string(variant) + (onward ? ", on)" : ")");
        Run(platform, tally, label);
        ++tally.faultRuns;
        CheckFaultedRun(road, platform, payload, tally, seen, label);
      }
    }
  }
}

// What a power cut can leave of a run's changes, replayed from the fake's journal.
class CrashModel {
 public:
  CrashModel(const Disk& before, const std::vector<DiskEvent>& journal, size_t cut) {
    for (const auto& file : before) {
      names_[file.first] = objects_.size();
      objects_.push_back({file.second, file.second, false, 0});
    }
    for (const DiskEvent& event : journal) {
      if (event.call > cut) break;
      Apply(event);
    }
    for (size_t object = 0; object < objects_.size(); ++object) {
      const Object& o = objects_[object];
      if (!o.durable || !(*o.durable == o.current)) {
        units_.push_back({Unit::kContent, object, "", "", std::nullopt, o.changed});
      }
    }
  }

  // The states of this cut: what the cut's call changed, in each of its states, with
  // all else as the run left it; and nothing that is not durable surviving.
  std::vector<Disk> States(size_t cut) const {
    std::vector<Disk> states = {Render({})};
    for (size_t u = 0; u < units_.size(); ++u) {
      if (units_[u].changed != cut) continue;
      // Unflushed data may also be partly written or garbage; a time or attributes only
      // lost.
      const Unit& unit = units_[u];
      int variants = unit.kind == Unit::kContent && objects_[unit.object].unflushedData ? 3 : 1;
      for (int variant = 1; variant <= variants; ++variant)
        states.push_back(Render({{u, variant}}));
    }
    std::map<size_t, int> pessimistic;
    for (size_t u = 0; u < units_.size(); ++u) pessimistic[u] = 1;
    states.push_back(Render(pessimistic));
    return states;
  }

 private:
  struct Object {
    FileState current;
    std::optional<FileState> durable;  // none: created by the run and never flushed
    bool unflushedData;                // bytes written since the last flush
    size_t changed;                    // the call that last changed it
  };
  struct Unit {
    enum Kind { kContent, kMove, kDelete } kind;
    size_t object;
    std::string from;  // a move's source, a removal's name
    std::string to;
    std::optional<size_t> replaced;  // what the move's target held
    size_t changed;
  };

  void Apply(const DiskEvent& event) {
    switch (event.kind) {
      case DiskEvent::kCreate:
        names_[event.path] = objects_.size();
        objects_.push_back({FileState(), std::nullopt, false, event.call});
        return;
      case DiskEvent::kMove: {
        size_t object = names_.at(event.path);
        auto old = names_.find(event.target);
        std::optional<size_t> replaced;
        if (old != names_.end()) replaced = old->second;
        names_.erase(event.path);
        names_[event.target] = object;
        // What it holds now stands under the target's name: its states are the cut's too.
        objects_[object].changed = event.call;
        units_.push_back({Unit::kMove, object, event.path, event.target, replaced, event.call});
        return;
      }
      case DiskEvent::kDelete: {
        size_t object = names_.at(event.path);
        names_.erase(event.path);
        units_.push_back({Unit::kDelete, object, event.path, "", std::nullopt, event.call});
        return;
      }
      default:
        break;
    }
    Object& object = objects_[names_.at(event.path)];
    object.changed = event.call;
    Bytes& bytes = object.current.bytes;
    if (event.kind == DiskEvent::kWrite) {
      bytes.insert(bytes.end(), event.bytes.begin(), event.bytes.end());
      object.unflushedData = true;
    } else if (event.kind == DiskEvent::kStamp) {
      object.current.stamp = event.value;
    } else if (event.kind == DiskEvent::kAttributes) {
      object.current.attributes = event.value;
    } else if (event.kind == DiskEvent::kFlush) {
      object.durable = object.current;
      object.unflushedData = false;
    }
  }

  // The disk with the chosen units in the chosen states: a move or a removal undone (1); a
  // content as last flushed or absent (1), its later half missing (2) or garbage (3), with
  // its time and attributes as last flushed.
  Disk Render(const std::map<size_t, int>& choice) const {
    std::map<std::string, size_t> names = names_;
    std::map<size_t, int> content;
    for (size_t u = units_.size(); u-- > 0;) {
      auto chosen = choice.find(u);
      if (chosen == choice.end()) continue;
      const Unit& unit = units_[u];
      if (unit.kind == Unit::kContent) {
        content[unit.object] = chosen->second;
      } else if (unit.kind == Unit::kMove) {
        names.erase(unit.to);
        if (unit.replaced) names[unit.to] = *unit.replaced;
        names[unit.from] = unit.object;
      } else {
        names[unit.from] = unit.object;
      }
    }
    Disk disk;
    for (const auto& name : names) {
      const Object& object = objects_[name.second];
      auto variant = content.find(name.second);
      if (variant == content.end()) {
        disk[name.first] = object.current;
      } else if (variant->second == 1) {
        if (object.durable) disk[name.first] = *object.durable;
      } else {
        FileState torn = object.durable.value_or(FileState());
        torn.bytes = object.current.bytes;
        const size_t half = torn.bytes.size() / 2;
        if (variant->second == 2) torn.bytes.resize(half);
        if (variant->second == 3) std::fill(torn.bytes.begin() + half, torn.bytes.end(), 0xEE);
        disk[name.first] = torn;
      }
    }
    return disk;
  }

  std::vector<Object> objects_;
  std::map<std::string, size_t> names_;
  std::vector<Unit> units_;
};

void PowerCutSweep(const Road& road, const std::vector<PayloadFile>& payload, Tally& tally) {
  std::set<std::string> seen;
  FakePlatform clean;
  clean.journalBytes = true;
  Prepare(clean, road, road.before, payload);
  Run(clean, tally, road.name + ", clean");
  for (size_t cut = 0; cut <= clean.calls.size(); ++cut) {
    CrashModel model(road.before, clean.journal, cut);
    std::string label = road.name + ", power cut after call " + std::to_string(cut);
    std::vector<Disk> states = model.States(cut);
    if (cut > 0 && clean.calls[cut - 1].rfind("MoveOpenFile", 0) == 0) {
      // A cut inside the move: a rename on one volume is done or not done.
      states.push_back(CrashModel(road.before, clean.journal, cut - 1).States(cut - 1)[0]);
      states.push_back(states[0]);
    }
    for (const Disk& disk : states) {
      ++tally.crashStates;
      if (!tally.images.insert(Describe(disk)).second) continue;
      Verdict verdict = FilesThatWereThere(road.host, road.before, disk, payload);
      tally.lost += verdict.lost;
      for (const std::string& broken : verdict.broken) tally.Fail(label + ": " + broken);
      RunAgain(road, disk, payload, tally, seen, label);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long files = 2;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--stop-at-first") == 0) {
      StopAtFirst = true;
    } else if (std::strcmp(argv[i], "--files") == 0 && i + 1 < argc) {
      files = std::strtoul(argv[++i], nullptr, 10);
    } else {
      files = 0;
    }
  }
  if (files == 0 || files > 255) {
    std::fprintf(stderr, "usage: sweep [--files 1-255] [--stop-at-first]\n");
    return 2;
  }
  std::vector<PayloadFile> payload = Payload(static_cast<unsigned>(files));
  Tally tally;
  for (const Road& road : Roads(payload)) {
    FaultSweep(road, payload, tally);
    PowerCutSweep(road, payload, tally);
  }
  std::printf(
      "sweep (%lu files): %zu fault runs, %zu crash states (%zu disk images), %zu lost or torn, "
      "%zu left behind\n",
      files, tally.faultRuns, tally.crashStates, tally.images.size(), tally.lost, tally.leftBehind);
  for (const std::string& what : tally.first) std::printf("  %s\n", what.c_str());
  if (tally.failures > tally.first.size()) {
    std::printf("  ... %zu failed checks in all\n", tally.failures);
  }
  return tally.failures == 0 ? 0 : 1;
}
