#include "support/oracle.h"

#include "common/messages.h"
#include "payload/temporary_names.h"
#include "support/runs.h"

namespace {

constexpr uint32_t kKeptAttributes = kAttributeHidden | kAttributeSystem | kAttributeArchive;

std::string KeyOf(const std::string& folder) { return Upper(folder) + "\\"; }

}  // namespace

bool operator==(const FileState& a, const FileState& b) {
  return a.bytes == b.bytes && a.stamp == b.stamp && a.attributes == b.attributes;
}

Disk DiskOf(const FakePlatform& platform) {
  Disk disk;
  for (const std::string& path : platform.Paths()) {
    const FakeEntry* entry = platform.File(path);
    disk[Upper(path)] = {entry->bytes, entry->stamp, entry->attributes};
  }
  return disk;
}

Disk Installed(const std::string& folder, const std::vector<PayloadFile>& payload,
               const Disk& before) {
  Disk installed;
  for (const PayloadFile& file : payload) {
    std::string key = KeyOf(folder) + Upper(file.name);
    auto old = before.find(key);
    installed[key] = {file.bytes, file.stamp,
                      old == before.end() ? 0 : old->second.attributes & kKeptAttributes};
  }
  return installed;
}

std::vector<std::string> Leftovers(const std::string& folder, const Disk& disk) {
  std::vector<std::string> left;
  for (const char* name : kTemporaryNames) {
    if (disk.count(KeyOf(folder) + Upper(name)) != 0) left.push_back(name);
  }
  return left;
}

bool Completed(const FakePlatform& platform) {
  return !platform.boxes.empty() && platform.boxes.back().caption == kCompletionCaption;
}

Verdict FilesThatWereThere(const std::string& folder, const Disk& before, const Disk& after,
                           const std::vector<PayloadFile>& payload) {
  Verdict verdict;
  Disk installed = Installed(folder, payload, before);
  for (const auto& file : before) {
    auto now = after.find(file.first);
    auto fresh = installed.find(file.first);
    bool whole = now != after.end() && (now->second == file.second ||
                                        (fresh != installed.end() && now->second == fresh->second));
    if (!whole) {
      ++verdict.lost;
      verdict.broken.push_back(file.first + (now == after.end() ? " lost" : " torn"));
    }
  }
  return verdict;
}

Verdict CheckRun(const FakePlatform& platform, const std::string& folder, const Disk& before,
                 const std::vector<PayloadFile>& payload) {
  Disk after = DiskOf(platform);
  Disk installed = Installed(folder, payload, before);
  Verdict verdict = FilesThatWereThere(folder, before, after, payload);
  if (Completed(platform)) {
    for (const auto& file : installed) {
      auto found = after.find(file.first);
      if (found == after.end() || !(found->second == file.second)) {
        ++verdict.lost;
        verdict.broken.push_back("completion reported, " + file.first + " not installed");
      }
    }
  }
  if (platform.openFiles != 0) verdict.broken.push_back("a file left open");
  size_t errors = 0;
  for (const ShownBox& box : platform.boxes) {
    bool error = box.caption == kEntryFailedCaption || box.caption == kResourceCaption ||
                 box.caption == kVersionCaption;
    errors += error;
    if (box.caption == kEntryFailedCaption) {
      bool named = false;
      for (const PayloadFile& file : payload) named |= box.text == EntryFailed(file.name);
      if (!named) verdict.broken.push_back("a box naming no entry: " + box.text);
    }
    if (box.caption == kResourceCaption && box.text.rfind(kResourceOpening, 0) != 0) {
      verdict.broken.push_back("a box naming no resource: " + box.text);
    }
  }
  if (errors > 1) verdict.broken.push_back("more than one error box");
  if (errors == 1 && Completed(platform)) {
    verdict.broken.push_back("an error box and the completion report");
  }
  for (const DiskEvent& event : platform.journal) {
    for (const std::string& path : {event.path, event.target}) {
      if (!path.empty() && path.rfind(KeyOf(folder), 0) != 0) {
        verdict.broken.push_back("wrote " + path);
      }
    }
  }
  if (!Leftovers(folder, after).empty() && platform.failedRemovals == 0) {
    verdict.broken.push_back("a copy left behind");
  }
  return verdict;
}
