#pragma once
// The user-mode side of the simulated system: what an application does with
// CreateFile, DeviceIoControl, ReadFile and CloseHandle, as the I/O manager
// turns it into requests.
#include <stdint.h>

#include <string>

#include "sim/kernel/sim_io.h"

namespace sim {

struct UserHandle {
  kernel::FileObject* file = nullptr;
};

// Opens "\\.\Name" through the link "\DosDevices\Name", or a device by its
// own name ("\Device\Name"). The create request goes to the top of the
// device's stack. Fails with STATUS_OBJECT_NAME_NOT_FOUND when no such name
// exists, or with the create's status.
kernel::Status openFile(const std::u16string& path, UserHandle& handle);

struct UserIoResult {
  kernel::Status status;
  uint32_t bytes;  // the driver's count of bytes returned
};

// Buffered codes get one system buffer of the larger length, with the input
// copied in and the returned bytes copied out; method-neither codes pass the
// caller's buffers as they are. Lengths of 0 give no buffer.
UserIoResult deviceIoControl(UserHandle& handle, uint32_t code, const void* input, uint32_t inputLength,
                             void* output, uint32_t outputLength);
UserIoResult readFile(UserHandle& handle, void* buffer, uint32_t length);
// Clean-up, then close; answers the close's status (which an application never sees).
kernel::Status closeHandle(UserHandle& handle);

}  // namespace sim
