// The two PTP datasets that PRSDK.DLL hands over as raw bytes: DeviceInfo
// and DevicePropDesc. The PR backend parses them; the simulated library
// builds them with the same layout. Parsing reads only the bytes given and
// stops at the first field that doesn't fit: what was read completely is
// kept, the rest stays as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace korv {

// DeviceInfo as far as it is read. Only whole codes are listed.
struct PTPDeviceInfo {
  std::vector<uint16_t> Operations;
  std::vector<uint16_t> Events;
  std::vector<uint16_t> DeviceProperties;
};

enum class DeviceInfoExtent { Operations, DeviceProperties };

// Parses up to OperationsSupported, or on through DevicePropertiesSupported
// (EventsSupported is read past either way). Nothing after that is read.
PTPDeviceInfo ParseDeviceInfo(std::span<const uint8_t> bytes, DeviceInfoExtent extent);

// DevicePropDesc read in enumeration form (values) or range form
// (minimum, maximum, step), whatever its form flag says. Values are
// `width` bytes (1, 2 or 4).
struct PTPPropDesc {
  std::optional<uint32_t> FactoryDefault, Current;
  std::vector<uint32_t> Values;
  std::optional<uint32_t> Minimum, Maximum, Step;
};
PTPPropDesc ParseEnumerationPropDesc(std::span<const uint8_t> bytes, size_t width);
PTPPropDesc ParseRangePropDesc(std::span<const uint8_t> bytes, size_t width);

// ---- The PR cameras' vendor codes --------------------------------------------

constexpr uint16_t PROpRemoteRelease = 0x9008;
constexpr uint16_t PROp900B = 0x900B;
constexpr uint16_t PROp9014 = 0x9014;

constexpr uint16_t PRPropBatteryKind = 0xD002;       // 16-bit
constexpr uint16_t PRPropBatteryLevel = 0xD003;      // 32-bit
constexpr uint16_t PRPropQuality = 0xD006;
constexpr uint16_t PRPropFileFormat = 0xD007;        // 2 = lossless
constexpr uint16_t PRPropImageSize = 0xD008;
constexpr uint16_t PRPropFlashMode = 0xD00A;
constexpr uint16_t PRPropBeep = 0xD00B;
constexpr uint16_t PRPropShootingMode = 0xD00C;
constexpr uint16_t PRPropMeteringMode = 0xD010;
constexpr uint16_t PRPropAFDistance = 0xD011;
constexpr uint16_t PRPropWhiteBalance = 0xD013;
constexpr uint16_t PRPropContrast = 0xD017;
constexpr uint16_t PRPropColorSaturation = 0xD018;
constexpr uint16_t PRPropSharpness = 0xD019;
constexpr uint16_t PRPropISO = 0xD01C;
constexpr uint16_t PRPropAv = 0xD01D;
constexpr uint16_t PRPropTv = 0xD01E;
constexpr uint16_t PRPropExposureCompensation = 0xD01F;
constexpr uint16_t PRPropFlashCompensation = 0xD020;
constexpr uint16_t PRPropCaptureTransferMode = 0xD029;  // 16-bit bit set
constexpr uint16_t PRPropZoomPosition = 0xD02A;        // 16-bit, range form
constexpr uint16_t PRPropOpticalZoomEnd = 0xD03D;      // one past the last optical position; 0xFF none
constexpr uint16_t PRPropOwnerName = 0xD033;           // text at byte 4
constexpr uint16_t PRPropPhotoEffect = 0xD040;

constexpr uint32_t PRNoOpticalZoomEnd = 0xFF;
constexpr uint32_t PROwnerValueSize = 260;
constexpr size_t PROwnerTextOffset = 4;
constexpr size_t PROwnerTextSize = 256;
constexpr uint32_t PRDatasetBufferSize = 1 << 20;
constexpr uint32_t PRTransferBlockSize = 100000;

// Bytes of a property's value: 2 for ISO, Av, Tv, photo effect and the
// zoom, transfer and battery-kind properties, 4 for the battery level, 1
// for the other settings.
size_t PRPropertyWidth(uint16_t code);

// ---- Building (the simulated library) ------------------------------------------

// PTP data type codes of the property values.
constexpr uint16_t PTPTypeInt8 = 0x0001;
constexpr uint16_t PTPTypeUInt8 = 0x0002;
constexpr uint16_t PTPTypeUInt16 = 0x0004;
constexpr uint16_t PTPTypeUInt32 = 0x0006;
constexpr uint16_t PTPTypeString = 0xFFFF;
constexpr uint8_t PTPFormNone = 0, PTPFormRange = 1, PTPFormEnumeration = 2;

std::vector<uint8_t> BuildDeviceInfo(const PTPDeviceInfo& info);

struct PTPPropDescProfile {
  uint16_t Code = 0;
  uint16_t DataType = PTPTypeUInt8;
  size_t Width = 1;
  bool Settable = true;
  uint32_t FactoryDefault = 0, Current = 0;
  uint8_t Form = PTPFormEnumeration;
  std::vector<uint32_t> Values;            // enumeration form
  uint32_t Minimum = 0, Maximum = 0, Step = 1;  // range form
};
std::vector<uint8_t> BuildPropDesc(const PTPPropDescProfile& profile);

// Appends `value` as `width` little-endian bytes.
void AppendLittleEndian(std::vector<uint8_t>& bytes, uint64_t value, size_t width);

}  // namespace korv
