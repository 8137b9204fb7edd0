// A PTP camera played from a script, behind the same transport as a USB
// camera: it answers the operations this library uses, keeps pictures until
// they are fetched, announces them to CheckEvent polling, splits what it
// sends into USB packets (with zero-length packets after whole-packet
// containers) and injects faults. Time is virtual: a wait for data that
// never comes returns at once and moves the clock on by the time-out, so
// the library's bounds can be tested without waiting them out.
//
// Script: one statement per line, "#" starts a comment (usbcam/README.md).
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "usbcam/PTPTransport.h"

namespace korv::usbcam {

struct Trace;
class TraceReplay;

struct ScriptedProperty {
  size_t Width = 1;  // 1, 2 or 4 bytes
  uint32_t Value = 0;
  std::vector<uint32_t> Values;  // listed in the descriptor (enumeration form)
  bool Range = false;            // descriptor in range form, 0 to Maximum
  uint32_t Maximum = 0;
};

enum class FaultKind { Respond, ShortData, WrongTransaction, Gone, NoResponse, Latency, Stall };

struct ScriptedFault {
  FaultKind Kind = FaultKind::Respond;
  uint16_t Operation = 0;
  uint32_t Value = 0;  // response code, bytes of the data phase before unplugging, or milliseconds late
  uint32_t Count = 1;  // occurrences left
};

// The lists of a camera's DeviceInfo, as a device report shows them.
struct DeviceLists {
  std::vector<uint16_t> Operations, Events, Properties;
  std::string Version;
};
// A Canon PowerShot G9 as its owners reported it.
DeviceLists G9Lists();

enum class OwnerForm { Terminated, PTPString, Empty };

struct DeviceScript {
  std::string Model = "Canon PowerShot G9";
  DeviceLists Lists = G9Lists();
  std::string Owner = "Sky Station";
  // An array of 8-bit characters with the terminating zero counted (a
  // single zero without a name), a PTP string, or an empty array.
  OwnerForm OwnerIs = OwnerForm::Terminated;
  std::optional<uint16_t> Flood;  // CheckEvent answers this when it has nothing else
  size_t PacketSize = 512;
  bool ZeroLengthPackets = true;
  uint32_t EventDelay = 2;  // empty polls before a release's events
  bool Silent = false;      // CheckEvent never reports anything
  bool ModeEvent = false;   // 0xC00C queued when InitiateReleaseControl is answered
  bool OnlyFull = false;    // a release announces 0xC008 only, whatever the transfer mode
  std::vector<uint16_t> StaleEvents;    // queued (for no object) once release control is on
  uint32_t GapMs = 0;                   // pause in the middle of every data phase
  std::optional<uint32_t> InfoSize;     // the object size GetObjectInfo claims
  uint32_t UnplugAfter = 0;             // gone after this many captures (0: never) ...
  double UnplugSeconds = 0;             // ... for this long (the library's own clock)
  std::map<uint16_t, ScriptedProperty> Properties;
  std::vector<uint32_t> PictureSizes{100000};  // successive releases; the last repeats
  std::string PictureFile;                     // when set, every picture is this file
  std::vector<ScriptedFault> Faults;
  std::shared_ptr<const Trace> Replay;  // "replay FILE": the camera of a trace instead (TraceReplay.h)
};

// The default camera changed by the script's lines. On a line it can't read
// returns nothing and sets `badLine` (1-based).
std::optional<DeviceScript> ParseDeviceScript(const std::string& text, uint32_t& badLine);

// The bytes of picture `index` (0-based) of a script without a picture
// file: byte i is (i + index) mod 251.
std::vector<uint8_t> PatternPicture(uint32_t size, uint32_t index);

class ScriptedDevice final : public PTPTransport {
public:
  explicit ScriptedDevice(DeviceScript script);
  ~ScriptedDevice() override;

  size_t PacketSize() const override { return Script.PacketSize; }
  Transfer Send(std::span<const uint8_t> container, int timeoutMs) override;
  Transfer Receive(std::span<uint8_t> buffer, int timeoutMs) override;
  TransferStatus Reset() override;
  TransferStatus ClearStall(Pipe pipe) override;
  TransferStatus Cancel(uint32_t transaction) override;
  uint16_t DeviceStatus() override;
  uint64_t NowMs() override;
  void SleepMs(int ms) override;

  // What crossed the pipes, one line per event:
  //   cmd 0x1009 tid 7 p 5        a command and its parameters
  //   dataout 0x1016 tid 5 len 14 a data phase to the camera
  //   data 0x1009 tid 7 len 100013  a data phase queued by the camera
  //   resp 0x2001 tid 7           a response queued by the camera
  //   read 65536 65536            a bulk-in read: size asked, bytes given
  //   timeout                     a read that found nothing
  //   reset                       the pipes were reset
  //   stall / clear in            the bulk-in pipe halted / was cleared
  //   cancel tid 7                the class's Cancel request
  //   status 0x2001               Get Device Status and its answer
  //   gone                        the camera was unplugged
  // (the last 50,000 to 100,000 lines).
  const std::vector<std::string>& Transcript() const { return Lines; }
  uint32_t PicturesTaken() const { return Taken; }
  bool Gone() const { return Unplugged; }

private:
  // One operation as the camera received it.
  struct Call {
    uint16_t Code;
    uint32_t Transaction;
    const std::vector<uint32_t>& Parameters;
    const std::vector<uint8_t>& DataOut;
    uint32_t First() const { return Parameters.empty() ? 0 : Parameters[0]; }
  };
  // A handler answers with a response code (0: none, the camera went).
  struct Operation {
    uint16_t Code;
    uint16_t (ScriptedDevice::*Handler)(const Call&);
  };
  static const Operation Operations[];

  void Command(uint16_t code, uint32_t transaction, const std::vector<uint32_t>& parameters);
  void Execute(const Call& call);
  void SendData(const Call& call, const std::vector<uint8_t>& payload);
  ScriptedProperty* PropertyOf(const Call& call);
  uint16_t GetDeviceInfo(const Call& call);
  uint16_t OpenSession(const Call& call);
  uint16_t CloseSession(const Call& call);
  uint16_t GetPropDesc(const Call& call);
  uint16_t GetPropValue(const Call& call);
  uint16_t SetPropValue(const Call& call);
  uint16_t InitiateReleaseControl(const Call& call);
  uint16_t TerminateReleaseControl(const Call& call);
  uint16_t InitiateCapture(const Call& call);
  uint16_t CheckEvent(const Call& call);
  uint16_t GetObjectInfo(const Call& call);
  uint16_t GetObject(const Call& call);
  uint16_t GetPartialObject(const Call& call);
  uint16_t GetStorageIDs(const Call& call);
  std::vector<uint8_t> OwnerValue() const;
  void Queue(std::vector<uint8_t> container, const ScriptedFault* fault);
  void Respond(uint16_t code, uint32_t transaction);
  ScriptedFault* DueFault(uint16_t operation, FaultKind kind);
  std::vector<uint8_t> DeviceInfo() const;
  std::vector<uint8_t> PropDesc(uint16_t code, const ScriptedProperty& property) const;
  std::vector<uint8_t> ObjectInfo(const std::vector<uint8_t>& object) const;
  void EnterReleaseControl();
  void Capture();
  void Note(std::string line);

  DeviceScript Script;
  uint64_t Clock = 0;
  bool Unplugged = false;
  bool SessionOpen = false;
  bool InReleaseControl = false;
  uint32_t LastTransaction = 0;
  // A command whose data phase is still to come.
  struct Pending {
    uint16_t Code;
    uint32_t Transaction;
    std::vector<uint32_t> Parameters;
  };
  std::optional<Pending> AwaitingData;
  // Bulk-in packets in order, each sent once the clock reaches ReadyAt.
  struct Packet {
    enum class Kind { Bytes, Gone, Stall } Is = Kind::Bytes;
    std::vector<uint8_t> Bytes;
    uint64_t ReadyAt = 0;
  };
  std::deque<Packet> Packets;
  void Push(Packet packet);
  uint64_t Delay = 0;         // of the answer to the current command
  bool Halted = false;        // bulk-in stalled until cleared
  uint32_t BusyStatuses = 0;  // Get Device Status answers "busy" after a cancel
  uint32_t Captures = 0;
  std::map<uint32_t, std::vector<uint8_t>> Objects;
  struct Event {
    uint16_t Code;
    uint32_t Object;
    uint32_t Polls;  // empty polls still to answer before it
  };
  std::deque<Event> Events;
  uint32_t NextObject = 0x1000;
  uint32_t Taken = 0;
  std::vector<std::string> Lines;
  std::unique_ptr<TraceReplay> Replay;
};

}  // namespace korv::usbcam
