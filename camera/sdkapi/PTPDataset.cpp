#include "camera/sdkapi/PTPDataset.h"

#include <string_view>

#include "runtime/ByteReader.h"

namespace korv {

namespace {

// A 32-bit count, then that many codes; a count larger than the bytes left
// ends with the last whole code.
std::vector<uint16_t> ReadCodeArray(ByteReader& reader) {
  const uint32_t count = reader.U32();
  std::vector<uint16_t> codes;
  for (uint32_t i = 0; i < count; ++i) {
    const uint16_t code = reader.U16();
    if (!reader.Ok()) break;
    codes.push_back(code);
  }
  return codes;
}

// A value that is only kept when it was there to read.
std::optional<uint32_t> ReadValue(ByteReader& reader, size_t width) {
  const auto value = static_cast<uint32_t>(reader.Unsigned(width));
  if (!reader.Ok()) return std::nullopt;
  return value;
}

// The fields before the form; the reader is left at the form.
PTPPropDesc ReadPropDescHead(ByteReader& reader, size_t width) {
  PTPPropDesc desc;
  reader.U16();  // PropertyCode
  reader.U16();  // DataType
  reader.U8();   // GetSet
  desc.FactoryDefault = ReadValue(reader, width);
  desc.Current = ReadValue(reader, width);
  reader.U8();  // FormFlag: never trusted, the caller knows the form
  return desc;
}

}  // namespace

PTPDeviceInfo ParseDeviceInfo(std::span<const uint8_t> bytes, DeviceInfoExtent extent) {
  ByteReader reader(bytes);
  PTPDeviceInfo info;
  reader.U16();                  // StandardVersion
  reader.U32();                  // VendorExtensionID
  reader.U16();                  // VendorExtensionVersion
  reader.Skip(2 * reader.U8());  // VendorExtensionDesc: count, then UTF-16 characters
  reader.U16();                  // FunctionalMode
  info.Operations = ReadCodeArray(reader);
  if (extent == DeviceInfoExtent::Operations) return info;
  info.Events = ReadCodeArray(reader);
  info.DeviceProperties = ReadCodeArray(reader);
  return info;
}

PTPPropDesc ParseEnumerationPropDesc(std::span<const uint8_t> bytes, size_t width) {
  ByteReader reader(bytes);
  PTPPropDesc desc = ReadPropDescHead(reader, width);
  const uint16_t count = reader.U16();
  for (uint16_t i = 0; i < count; ++i) {
    const auto value = ReadValue(reader, width);
    if (!value) break;
    desc.Values.push_back(*value);
  }
  return desc;
}

PTPPropDesc ParseRangePropDesc(std::span<const uint8_t> bytes, size_t width) {
  ByteReader reader(bytes);
  PTPPropDesc desc = ReadPropDescHead(reader, width);
  desc.Minimum = ReadValue(reader, width);
  desc.Maximum = ReadValue(reader, width);
  desc.Step = ReadValue(reader, width);
  return desc;
}

size_t PRPropertyWidth(uint16_t code) {
  switch (code) {
    case PRPropBatteryKind:
    case PRPropISO:
    case PRPropAv:
    case PRPropTv:
    case PRPropPhotoEffect:
    case PRPropCaptureTransferMode:
    case PRPropZoomPosition:
    case PRPropOpticalZoomEnd: return 2;
    case PRPropBatteryLevel: return 4;
    default: return 1;
  }
}

void AppendLittleEndian(std::vector<uint8_t>& bytes, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> BuildDeviceInfo(const PTPDeviceInfo& info) {
  std::vector<uint8_t> bytes;
  AppendLittleEndian(bytes, 100, 2);         // StandardVersion 1.00
  AppendLittleEndian(bytes, 0x0000000B, 4);  // VendorExtensionID: the camera maker's
  AppendLittleEndian(bytes, 100, 2);         // VendorExtensionVersion
  constexpr std::u16string_view description = u"canon.com: 1.0";
  bytes.push_back(static_cast<uint8_t>(description.size() + 1));
  for (char16_t c : description) AppendLittleEndian(bytes, c, 2);
  AppendLittleEndian(bytes, 0, 2);  // the terminating zero the count includes
  AppendLittleEndian(bytes, 0, 2);  // FunctionalMode
  for (const auto* codes : {&info.Operations, &info.Events, &info.DeviceProperties}) {
    AppendLittleEndian(bytes, codes->size(), 4);
    for (uint16_t code : *codes) AppendLittleEndian(bytes, code, 2);
  }
  // What a camera sends after the properties; never read by the program.
  for (int array = 0; array < 2; ++array) AppendLittleEndian(bytes, 0, 4);  // capture and image formats
  for (int text = 0; text < 4; ++text) bytes.push_back(0);  // manufacturer, model, versions
  return bytes;
}

std::vector<uint8_t> BuildPropDesc(const PTPPropDescProfile& profile) {
  std::vector<uint8_t> bytes;
  AppendLittleEndian(bytes, profile.Code, 2);
  AppendLittleEndian(bytes, profile.DataType, 2);
  bytes.push_back(profile.Settable ? 1 : 0);
  AppendLittleEndian(bytes, profile.FactoryDefault, profile.Width);
  AppendLittleEndian(bytes, profile.Current, profile.Width);
  bytes.push_back(profile.Form);
  if (profile.Form == PTPFormEnumeration) {
    AppendLittleEndian(bytes, profile.Values.size(), 2);
    for (uint32_t value : profile.Values) AppendLittleEndian(bytes, value, profile.Width);
  } else if (profile.Form == PTPFormRange) {
    AppendLittleEndian(bytes, profile.Minimum, profile.Width);
    AppendLittleEndian(bytes, profile.Maximum, profile.Width);
    AppendLittleEndian(bytes, profile.Step, profile.Width);
  }
  return bytes;
}

}  // namespace korv
