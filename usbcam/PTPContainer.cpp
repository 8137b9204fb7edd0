#include "usbcam/PTPContainer.h"

#include "camera/sdkapi/PTPDataset.h"
#include "runtime/ByteReader.h"

namespace korv::usbcam {

std::optional<PTPHeader> ParseHeader(std::span<const uint8_t> bytes) {
  ByteReader reader(bytes);
  PTPHeader header;
  header.Length = reader.U32();
  header.Type = reader.U16();
  header.Code = reader.U16();
  header.Transaction = reader.U32();
  if (!reader.Ok() || header.Length < PTPHeaderSize) return std::nullopt;
  return header;
}

std::vector<uint32_t> ParseParameters(std::span<const uint8_t> container) {
  std::vector<uint32_t> parameters;
  const auto header = ParseHeader(container);
  if (!header) return parameters;
  ByteReader reader(container.first(std::min<size_t>(header->Length, container.size())));
  reader.Seek(PTPHeaderSize);
  while (parameters.size() < PTPMaxParameters) {
    const uint32_t value = reader.U32();
    if (!reader.Ok()) break;
    parameters.push_back(value);
  }
  return parameters;
}

namespace {

std::vector<uint8_t> Header(PTPType type, uint16_t code, uint32_t transaction, size_t length) {
  std::vector<uint8_t> bytes;
  bytes.reserve(length);
  AppendLittleEndian(bytes, length, 4);
  AppendLittleEndian(bytes, static_cast<uint16_t>(type), 2);
  AppendLittleEndian(bytes, code, 2);
  AppendLittleEndian(bytes, transaction, 4);
  return bytes;
}

}  // namespace

std::vector<uint8_t> BuildContainer(PTPType type, uint16_t code, uint32_t transaction,
                                    std::span<const uint32_t> parameters) {
  auto bytes = Header(type, code, transaction, PTPHeaderSize + 4 * parameters.size());
  for (uint32_t p : parameters) AppendLittleEndian(bytes, p, 4);
  return bytes;
}

std::vector<uint8_t> BuildDataContainer(uint16_t code, uint32_t transaction, std::span<const uint8_t> payload) {
  auto bytes = Header(PTPType::Data, code, transaction, PTPHeaderSize + payload.size());
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

std::vector<std::span<const uint8_t>> SplitEvents(std::span<const uint8_t> data) {
  std::vector<std::span<const uint8_t>> events;
  while (const auto header = ParseHeader(data)) {
    if (header->Type != static_cast<uint16_t>(PTPType::Event) || header->Length > data.size()) break;
    events.push_back(data.first(header->Length));
    data = data.subspan(header->Length);
  }
  return events;
}

}  // namespace korv::usbcam
