#pragma once
// The simulated I/O system's own bookkeeping, shared by its source files.
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "sim_io.h"

namespace sim::detail {

struct IoState {
  std::recursive_mutex mutex;
  std::vector<std::unique_ptr<kernel::DriverObject>> drivers;
  std::set<kernel::DeviceObject*> devices;  // not yet freed
  std::map<std::u16string, kernel::DeviceObject*> deviceNames;
  std::map<std::u16string, std::u16string> links;
  std::set<kernel::FileObject*> files;
  std::vector<std::string> log;
  std::vector<std::string> violations;
  int64_t liveIrps = 0;
  int64_t heldReferences = 0;
  kernel::Status failCreation = 0;
  bool failAttach = false;
  kernel::Status failLink = 0;
  uint32_t nextFileId = 1;
};

IoState& io();
// Lower-cased, for the namespace's case-insensitive names.
std::u16string foldCase(const std::u16string& text);
// Frees a deleted device once nothing refers to it any more.
void releaseDeviceIfUnused(kernel::DeviceObject* device);
void resetRegistry();
void resetRemoveLocks();

}  // namespace sim::detail
