// PTP over USB (Still Image class): the container that every command, data
// phase, response and event travels in, and the codes this library speaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace korv::usbcam {

// Container: length (32-bit, header included), type, code, transaction id,
// then parameters (command, response, event) or payload (data).
constexpr size_t PTPHeaderSize = 12;
constexpr size_t PTPMaxParameters = 5;
enum class PTPType : uint16_t { Command = 1, Data = 2, Response = 3, Event = 4 };

struct PTPHeader {
  uint32_t Length = 0;
  uint16_t Type = 0;
  uint16_t Code = 0;
  uint32_t Transaction = 0;
};

// The header at the start of `bytes`; none when fewer than 12 bytes are
// there or the length field is smaller than the header itself.
std::optional<PTPHeader> ParseHeader(std::span<const uint8_t> bytes);
// Parameters following the header, at most five, whole ones only.
std::vector<uint32_t> ParseParameters(std::span<const uint8_t> container);

std::vector<uint8_t> BuildContainer(PTPType type, uint16_t code, uint32_t transaction,
                                    std::span<const uint32_t> parameters);
std::vector<uint8_t> BuildDataContainer(uint16_t code, uint32_t transaction, std::span<const uint8_t> payload);

// The event containers of a CheckEvent data phase, in order; a piece that is
// not a whole event container ends the list.
std::vector<std::span<const uint8_t>> SplitEvents(std::span<const uint8_t> data);

// Operations.
constexpr uint16_t PTPOpGetDeviceInfo = 0x1001;
constexpr uint16_t PTPOpOpenSession = 0x1002;
constexpr uint16_t PTPOpCloseSession = 0x1003;
constexpr uint16_t PTPOpGetStorageIDs = 0x1004;
constexpr uint16_t PTPOpGetObjectInfo = 0x1008;
constexpr uint16_t PTPOpGetObject = 0x1009;
constexpr uint16_t PTPOpGetPartialObject = 0x101B;
constexpr uint16_t PTPOpGetDevicePropDesc = 0x1014;
constexpr uint16_t PTPOpGetDevicePropValue = 0x1015;
constexpr uint16_t PTPOpSetDevicePropValue = 0x1016;
constexpr uint16_t PTPOpInitiateReleaseControl = 0x9008;
constexpr uint16_t PTPOpTerminateReleaseControl = 0x9009;
constexpr uint16_t PTPOpCheckEvent = 0x9013;
constexpr uint16_t PTPOpInitiateCaptureInMemory = 0x901A;

// Responses.
constexpr uint16_t PTPResponseOK = 0x2001;
constexpr uint16_t PTPResponseDeviceBusy = 0x2019;
constexpr uint16_t PTPResponseSessionAlreadyOpen = 0x201E;
// Canon's answer to InitiateReleaseControl when release control is on already.
constexpr uint16_t PTPResponseAlreadyInReleaseControl = 0xA009;

// ObjectInfo: the object's size is the 32-bit field at byte 8.
constexpr size_t PTPObjectInfoSizeOffset = 8;

// Properties that the library itself sets.
constexpr uint16_t PTPPropEventEmulationMode = 0xD045;
constexpr uint16_t PTPPropOutputSize = 0xD02E;  // the largest data phase the camera sends
constexpr uint16_t PTPEventsByPollingOnly = 7;

}  // namespace korv::usbcam
