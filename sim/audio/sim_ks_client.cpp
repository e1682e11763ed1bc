#include "sim_ks_client.h"

#include <string.h>

#include <algorithm>

#include "filter/interception_hooks.h"
#include "sim/kernel/sim_io_state.h"

namespace sim {

namespace {

std::vector<uint8_t> idInput(uint32_t id, size_t bytes) {
  std::vector<uint8_t> input(bytes, 0);
  memcpy(input.data(), &id, sizeof id);
  return input;
}

}  // namespace

KsClient::KsClient(kernel::DeviceObject* device, kernel::RequestorMode mode) : device_(device), mode_(mode) {}

KsClient::~KsClient() {
  while (!open_.empty()) close(open_.back());
}

kernel::FileObject* KsClient::open(std::vector<uint8_t>* connect, kernel::Status& status) {
  auto& io = detail::io();
  kernel::FileObject* file = nullptr;
  {
    std::lock_guard<std::recursive_mutex> hold(io.mutex);
    file = new kernel::FileObject{device_, io.nextFileId++};
    device_->references++;
    io.files.insert(file);
  }
  RequestShape shape;
  shape.major = kernel::kIrpMjCreate;
  shape.file = file;
  shape.requestorMode = mode_;
  shape.systemBuffer = connect == nullptr ? nullptr : connect->data();
  status = sendRequest(topOfStack(device_), shape).status;
  if (!kernel::isSuccess(status)) {
    std::lock_guard<std::recursive_mutex> hold(io.mutex);
    io.files.erase(file);
    device_->references--;
    detail::releaseDeviceIfUnused(device_);
    delete file;
    return nullptr;
  }
  open_.push_back(file);
  return file;
}

kernel::FileObject* KsClient::filterHandle() {
  if (filter_ == nullptr) {
    kernel::Status status = 0;
    filter_ = open(nullptr, status);
  }
  return filter_;
}

kernel::FileObject* KsClient::createPin(uint32_t pinId, const WaveFormat& format, FormatSpecifier specifier,
                                        kernel::Status* status) {
  ks::KSPIN_CONNECT connect{};
  connect.PinId = pinId;
  std::vector<uint8_t> buffer(sizeof connect);
  memcpy(buffer.data(), &connect, sizeof connect);
  std::vector<uint8_t> formatBytes = dataFormatBytes(format, specifier);
  buffer.insert(buffer.end(), formatBytes.begin(), formatBytes.end());
  kernel::Status result = 0;
  kernel::FileObject* pin = open(&buffer, result);
  if (status != nullptr) *status = result;
  return pin;
}

void KsClient::close(kernel::FileObject* file) {
  auto it = std::find(open_.begin(), open_.end(), file);
  if (it == open_.end()) return;
  open_.erase(it);
  if (file == filter_) filter_ = nullptr;
  for (uint8_t major : {kernel::kIrpMjCleanup, kernel::kIrpMjClose}) {
    RequestShape shape;
    shape.major = major;
    shape.file = file;
    shape.requestorMode = mode_;
    sendRequest(topOfStack(device_), shape);
  }
  auto& io = detail::io();
  std::lock_guard<std::recursive_mutex> hold(io.mutex);
  io.files.erase(file);
  device_->references--;
  detail::releaseDeviceIfUnused(device_);
  delete file;
}

RequestResult KsClient::property(kernel::FileObject* file, const ks::GUID& set, uint32_t id, uint32_t flags,
                                 const std::vector<uint8_t>& input, std::vector<uint8_t>& data,
                                 std::vector<uint8_t>* inputAfter) {
  ks::KSPROPERTY header{set, id, flags};
  std::vector<uint8_t> whole(sizeof header);
  memcpy(whole.data(), &header, sizeof header);
  whole.insert(whole.end(), input.begin(), input.end());
  RequestShape shape;
  shape.major = kernel::kIrpMjDeviceControl;
  shape.ioControlCode = kIoctlKsProperty;
  shape.file = file;
  shape.requestorMode = mode_;
  shape.type3InputBuffer = whole.data();
  shape.inputLength = static_cast<uint32_t>(whole.size());
  shape.userBuffer = data.empty() ? nullptr : data.data();
  shape.outputLength = static_cast<uint32_t>(data.size());
  RequestResult result = sendRequest(topOfStack(device_), shape);
  if (inputAfter != nullptr) inputAfter->assign(whole.begin() + sizeof header, whole.end());
  return result;
}

kernel::Status KsClient::dataRanges(uint32_t pinId, std::vector<AudioRange>& ranges) {
  std::vector<uint8_t> input = idInput(pinId, 8);
  std::vector<uint8_t> none;
  RequestResult size = property(filterHandle(), ks::KSPROPSETID_Pin, ks::KSPROPERTY_PIN_DATARANGES,
                                ks::KSPROPERTY_TYPE_GET, input, none);
  if (size.status != kernel::kStatusBufferOverflow) return size.status;
  std::vector<uint8_t> data(size.information);
  RequestResult got = property(filterHandle(), ks::KSPROPSETID_Pin, ks::KSPROPERTY_PIN_DATARANGES,
                               ks::KSPROPERTY_TYPE_GET, input, data);
  if (kernel::isSuccess(got.status)) ranges = parseDataRangeList(data.data(), data.size());
  return got.status;
}

kernel::Status KsClient::intersect(uint32_t pinId, const std::vector<AudioRange>& proposed, WaveFormat& chosen) {
  std::vector<uint8_t> input = idInput(pinId, 8);
  std::vector<uint8_t> list = dataRangeListBytes(proposed);
  input.insert(input.end(), list.begin(), list.end());
  std::vector<uint8_t> data(sizeof(ks::KSDATAFORMAT_DSOUND) + 8);
  RequestResult got = property(filterHandle(), ks::KSPROPSETID_Pin, ks::KSPROPERTY_PIN_DATAINTERSECTION,
                               ks::KSPROPERTY_TYPE_GET, input, data);
  if (kernel::isSuccess(got.status) && !parseDataFormat(data.data(), got.information, chosen)) {
    return kernel::kStatusUnsuccessful;
  }
  return got.status;
}

kernel::Status KsClient::setDataFormat(kernel::FileObject* pin, const WaveFormat& format, FormatSpecifier specifier) {
  std::vector<uint8_t> data = dataFormatBytes(format, specifier);
  return property(pin, ks::KSPROPSETID_Connection, ks::KSPROPERTY_CONNECTION_DATAFORMAT, ks::KSPROPERTY_TYPE_SET,
                  {}, data)
      .status;
}

kernel::Status KsClient::setState(kernel::FileObject* pin, uint32_t state) {
  std::vector<uint8_t> data(4);
  memcpy(data.data(), &state, 4);
  return property(pin, ks::KSPROPSETID_Connection, ks::KSPROPERTY_CONNECTION_STATE, ks::KSPROPERTY_TYPE_SET, {},
                  data)
      .status;
}

kernel::Status KsClient::getState(kernel::FileObject* pin, uint32_t& state) {
  std::vector<uint8_t> data(4, 0);
  memcpy(data.data(), &state, 4);  // what the buffer held before
  kernel::Status status = property(pin, ks::KSPROPSETID_Connection, ks::KSPROPERTY_CONNECTION_STATE,
                                   ks::KSPROPERTY_TYPE_GET, {}, data)
                              .status;
  memcpy(&state, data.data(), 4);
  return status;
}

kernel::Status KsClient::setVolume(uint32_t node, int32_t level) {
  // KSNODEPROPERTY_AUDIO_CHANNEL after the KSPROPERTY: node, reserved, channel 0, reserved.
  std::vector<uint8_t> input = idInput(node, 16);
  std::vector<uint8_t> data(4);
  memcpy(data.data(), &level, 4);
  return property(filterHandle(), ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL, ks::KSPROPERTY_TYPE_SET,
                  input, data)
      .status;
}

kernel::Status KsClient::nodeName(uint32_t node, std::u16string& name) {
  std::vector<uint8_t> input = idInput(node, 8);
  std::vector<uint8_t> none;
  RequestResult size = property(filterHandle(), ks::KSPROPSETID_Topology, ks::KSPROPERTY_TOPOLOGY_NAME,
                                ks::KSPROPERTY_TYPE_GET, input, none);
  if (size.status != kernel::kStatusBufferOverflow) return size.status;
  std::vector<uint8_t> data(size.information);
  RequestResult got = property(filterHandle(), ks::KSPROPSETID_Topology, ks::KSPROPERTY_TOPOLOGY_NAME,
                               ks::KSPROPERTY_TYPE_GET, input, data);
  name.clear();
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t c = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (c == 0) break;
    name.push_back(c);
  }
  return got.status;
}

RequestResult KsClient::stream(kernel::FileObject* pin, bool read, ks::KSSTREAM_HEADER& header) {
  RequestShape shape;
  shape.major = kernel::kIrpMjDeviceControl;
  shape.ioControlCode = read ? kIoctlKsReadStream : kIoctlKsWriteStream;
  shape.file = pin;
  shape.requestorMode = mode_;
  shape.outputLength = sizeof header;
  if (headersInSystemBuffer_) {
    shape.systemBuffer = &header;
  } else {
    shape.userBuffer = &header;
  }
  return sendRequest(topOfStack(device_), shape);
}

RequestResult KsClient::read(kernel::FileObject* pin, std::vector<uint8_t>& data, uint32_t bytes, uint32_t* dataUsed) {
  data.assign(bytes, 0);
  ks::KSSTREAM_HEADER header{};
  header.Size = sizeof header;
  header.FrameExtent = bytes;
  header.Data = data.data();
  RequestResult result = stream(pin, true, header);
  if (dataUsed != nullptr) *dataUsed = header.DataUsed;
  data.resize(std::min(header.DataUsed, bytes));
  return result;
}

RequestResult KsClient::write(kernel::FileObject* pin, std::vector<uint8_t>& data) {
  ks::KSSTREAM_HEADER header{};
  header.Size = sizeof header;
  header.FrameExtent = static_cast<uint32_t>(data.size());
  header.DataUsed = static_cast<uint32_t>(data.size());
  header.Data = data.data();
  return stream(pin, false, header);
}

}  // namespace sim
